#pragma once

#include <QByteArray>
#include <QString>

// The small playlist formats that stations hand out instead of the stream.
class PlaylistDocuments
{
public:
    static QByteArray pls(const QByteArray &url, const QString &title);
    static QByteArray m3u(const QByteArray &url, const QString &title);
    static QByteArray asx(const QByteArray &url, const QString &title);
};
