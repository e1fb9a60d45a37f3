#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

// GStreamer's RTSP server (Debian's gir1.2-gst-rtsp-server-1.0, driven by
// real-servers/rtsp_tone_server.py) as a child process of a test, on a free
// loopback port: /tone.mp3 (MPEG audio over RTP) and /tone.aac (AAC), live.
// Stopped by process id when the object goes away.
class RtspServerProcess : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultStartTimeoutMs = 30 * 1000;

    explicit RtspServerProcess(QObject *parent = nullptr);
    ~RtspServerProcess() override;

    // Starts the server and waits for its "rtsp on" line.
    bool start(int timeoutMs = kDefaultStartTimeoutMs);
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    // "rtsp://127.0.0.1:PORT" + path; path starts with '/'.
    QString url(const QString &path) const;
    QString errorString() const { return m_error; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
