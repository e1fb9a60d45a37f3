#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>

// A real Icecast server (Debian's icecast2) as a child process of a test, on a
// free loopback port, with ffmpeg as the source client of each mount: live
// MP3, AAC or Ogg Vorbis tones, ICY titles set through Icecast's admin
// interface, and a source that goes away (its ffmpeg ended) and comes back.
// Everything is stopped by process id when the object goes away.
class IcecastProcess : public QObject
{
    Q_OBJECT

public:
    enum class Codec { Mp3, Aac, Vorbis };
    Q_ENUM(Codec)

    // What Icecast sends a new listener at once, ahead of the live pace.
    static constexpr int kBurstBytes = 64 * 1024;
    static constexpr int kDefaultTimeoutMs = 20 * 1000;

    explicit IcecastProcess(QObject *parent = nullptr);
    ~IcecastProcess() override;

    // Writes icecast.xml into a temporary folder, starts `icecast2 -c` (not
    // daemonised) and waits until it accepts connections.
    bool start(int timeoutMs = kDefaultTimeoutMs);
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT" + mount; mount starts with '/'.
    QString url(const QString &mount) const;

    // Starts ffmpeg sending a live-paced tone to `mount` and waits until Icecast
    // lists the mount. `title` is the stream's title: in the Vorbis comments for
    // Ogg, through the admin interface (ICY StreamTitle) for MP3 and AAC.
    // `hertz` is the tone; 0 gives each codec its own (MP3 440, AAC 550,
    // Vorbis 660).
    bool startSource(const QString &mount, Codec codec, const QString &title = QString(),
        int timeoutMs = kDefaultTimeoutMs, int hertz = 0);
    // Ends the mount's ffmpeg and waits until Icecast no longer lists the mount,
    // which also cuts its listeners.
    bool stopSource(const QString &mount, int timeoutMs = kDefaultTimeoutMs);
    // The ICY StreamTitle of an MP3 or AAC mount, through /admin/metadata.
    bool setTitle(const QString &mount, const QString &title);
    bool hasMount(const QString &mount);

    QString errorString() const { return m_error; }
    // Icecast's error log, and what its ffmpeg sources said.
    QByteArray log() const;

private:
    bool startOnce(int timeoutMs);
    bool writeConfiguration();
    // An admin request with the admin credentials; the answer's body, or a null array.
    QByteArray admin(const QByteArray &pathAndQuery);

    QTemporaryDir m_dir;
    QProcess m_icecast;
    std::map<QString, std::unique_ptr<QProcess>> m_sources;
    quint16 m_port = 0;
    bool m_portTaken = false;
    quint16 m_takenPort = 0;
    QByteArray m_sourcePassword;
    QByteArray m_adminPassword;
    QString m_error;
};
