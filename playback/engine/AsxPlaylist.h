#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Windows Media playlists, which libmpv does not read by itself: ASX, WAX and
// WVX files (XML with <ref href="…"/> in each <entry>) and the older
// "[Reference]" files with Ref1=… lines. Parsing never resolves entities or
// fetches anything; the caller decides which references it may follow.
namespace AsxPlaylist {

// Playlists larger than this are not read.
inline constexpr qsizetype kMaxBytes = 256 * 1024;

// Whether the address names such a playlist by its extension.
bool isPlaylistAddress(const QString &address);
// Whether these bytes, the start of a response, are such a playlist.
bool looksLikePlaylist(const QByteArray &head);
// The references in document order, absolute where base makes them so.
QStringList references(const QByteArray &content, const QString &base = {});

}
