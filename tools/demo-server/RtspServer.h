#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>

class MediaLibrary;
class Mp3Frames;

// A small RTSP server beside the HTTP one, on its own loopback port: the MP3
// stations as live RTP streams (MPEG audio, payload type 14) carried inside
// the RTSP connection itself (interleaved TCP). UDP transports are refused
// with 461 so that clients fall back to TCP.
class RtspServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxConnections = 64;

    explicit RtspServer(const MediaLibrary *library, QObject *parent = nullptr);
    ~RtspServer() override;

    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

    // The frames of the station at `path` ("/radio/N"), or null when there is none.
    std::shared_ptr<const Mp3Frames> station(const QString &path);

private:
    void accept();

    const MediaLibrary *m_library;
    QTcpServer m_server;
    QHash<QString, std::shared_ptr<const Mp3Frames>> m_frames;
    int m_connections = 0;
};
