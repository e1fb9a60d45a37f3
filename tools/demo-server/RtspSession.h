#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTimer>

#include <memory>

class Mp3Frames;
class QTcpSocket;
class RtspServer;

// One RTSP client connection: its requests, and once it plays, the RTP packets
// of its station written between the answers, one MP3 frame each, at the
// station's real rate after a short burst, looping with timestamps and
// sequence numbers that run on.
class RtspSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxRequestBytes = 8 * 1024;
    static constexpr int kSessionTimeoutSeconds = 60;

    RtspSession(QTcpSocket *socket, RtspServer *server);

private:
    struct Request
    {
        QByteArray method;
        QByteArray url;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers;
    };

    void readSocket();
    void handle(const Request &request);
    void answer(const Request &request, int status, const QList<QPair<QByteArray, QByteArray>> &headers = {},
        const QByteArray &contentType = {}, const QByteArray &body = {});
    void startPlaying();
    void tick();
    void sendFrame();
    void close();

    QTcpSocket *m_socket;
    RtspServer *m_server;
    QByteArray m_buffer;
    QTimer m_idle;
    QTimer m_timer;
    QElapsedTimer m_clock;

    std::shared_ptr<const Mp3Frames> m_station;
    QByteArray m_sessionId;
    QByteArray m_trackUrl;
    int m_rtpChannel = 0;
    bool m_playing = false;
    qsizetype m_frame = 0;
    qint64 m_samplesSent = 0;
    quint16 m_sequence = 0;
    quint32 m_timestampBase = 0;
    quint32 m_ssrc = 0;
    qint64 m_stalledSince = -1;
};
