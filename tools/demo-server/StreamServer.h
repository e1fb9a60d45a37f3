#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>
#include <vector>

#include "EndpointSet.h"
#include "LiveStream.h"

class ClientConnection;
class MediaLibrary;

// The HTTP front: accepts on 127.0.0.1 only, bounds the number of clients and
// sends each request to what serves it: the demonstration stations, and the
// endpoint sets a program adds (asked first, in the order added).
class StreamServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxConnections = 64;

    explicit StreamServer(const MediaLibrary *library, QObject *parent = nullptr);
    ~StreamServer() override;

    void addEndpoints(std::unique_ptr<EndpointSet> endpoints);
    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    // "http://127.0.0.1:PORT", for addresses inside playlists.
    QByteArray base() const;
    qint64 uptimeMs() const { return m_uptime.elapsed(); }
    int connectionCount() const { return m_connections; }

    // A looping MP3 station with optional ICY metadata, as the request asks,
    // streamed by what `make` makes where it is given.
    void streamStation(ClientConnection *connection, const QString &asset, const QString &name,
                       LiveStream::Options options = {},
                       IcyMetadata::Encoding encoding = IcyMetadata::Encoding::Utf8,
                       const LiveStream::Maker &make = {});

private:
    void accept();
    void dispatch(ClientConnection *connection);
    bool serveMedia(ClientConnection *connection, const QString &path);
    bool serveHls(ClientConnection *connection, const QString &path);
    bool servePlaylist(ClientConnection *connection, const QString &path);
    QByteArray index() const;

    const MediaLibrary *m_library;
    QTcpServer m_server;
    QElapsedTimer m_uptime;
    std::vector<std::unique_ptr<EndpointSet>> m_endpoints;
    int m_connections = 0;
};
