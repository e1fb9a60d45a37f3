#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reads the playlists that radio and IPTV lists are published as: M3U and
// M3U8 (with or without #EXTM3U, #EXTINF names and attributes such as
// tvg-name and group-title, or plain lines of addresses) and PLS ([playlist]
// with FileN, TitleN, numbered with gaps or not). Forgiving of what real
// files do: a byte-order mark, CR LF, LF or CR line ends, blank lines,
// comments, other directives; the text is UTF-8 when it is valid UTF-8 (or
// has a UTF-16 mark), GBK otherwise, unless an encoding is given.
namespace PlaylistReader {

struct Entry
{
    QString title;   // the name the playlist gives (#EXTINF text, TitleN), may be empty
    QString tvgName; // the tvg-name attribute of an #EXTINF, if any
    QString group;   // group-title or #EXTGRP, if any
    QString address; // as written, trimmed; may be relative
    int line = 0;    // where the address stands, from 1
};

enum class Format { M3u, Pls };

struct Playlist
{
    Format format = Format::M3u;
    QString encoding; // what the text was decoded as
    QList<Entry> entries;
    QStringList notes; // about things skipped, in Chinese, one line each
    QString error;     // not a playlist that can be imported; empty when it is
};

// encoding: empty for the rule above, or a name such as "UTF-8" or "GBK".
Playlist read(const QByteArray &bytes, const QString &encoding = {});

}
