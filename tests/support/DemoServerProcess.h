#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// The test stream server (the demonstration stations plus the endpoints that
// only tests use, tests/support/stream-server/) as a child process of a test:
// started on an ephemeral loopback port, stopped when the object goes away.
//
// The media folder defaults to one cache shared by the whole suite (next to the
// server binary in the build tree), so the media are made once per build; the
// LUMORA_TEST_MEDIA_DIR environment variable or setMediaDirectory() override it.
// The server's log goes to a file (logFilePath()); LUMORA_DEMO_SERVER_LOG=1
// forwards it to the test's stderr instead.
class DemoServerProcess : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultStartTimeoutMs = 90 * 1000;

    explicit DemoServerProcess(QObject *parent = nullptr);
    ~DemoServerProcess() override;

    // The test stream server, which every DemoServerProcess runs unless told otherwise.
    static QString serverPath();
    // The demonstration server as installed: the catalogue's stations only.
    static QString demoServerPath();
    void setProgram(const QString &path) { m_program = path; }
    static QString defaultMediaDirectory();

    void setMediaDirectory(const QString &directory) { m_mediaDirectory = directory; }
    QString mediaDirectory() const { return m_mediaDirectory; }

    // Launches the server and waits for its "listening on" line. Returns at once
    // when it is already running.
    bool start(int timeoutMs = kDefaultStartTimeoutMs);
    // SIGTERM, then SIGKILL if it does not end within a few seconds.
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT" + path; path starts with '/'.
    QString url(const QString &path) const;
    QUrl qurl(const QString &path) const { return QUrl(url(path)); }

    QString errorString() const { return m_error; }
    QString logFilePath() const;
    QByteArray log() const;

    // A loopback port that nothing listens on, for "connection refused" cases.
    static quint16 closedPort();

private:
    QProcess m_process;
    QString m_program;
    QTemporaryDir m_logDir;
    QString m_mediaDirectory;
    QString m_error;
    quint16 m_port = 0;
};
