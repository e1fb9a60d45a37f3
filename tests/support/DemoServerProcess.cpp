#include "DemoServerProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

DemoServerProcess::DemoServerProcess(QObject *parent)
    : QObject(parent)
    , m_mediaDirectory(defaultMediaDirectory())
{
}

DemoServerProcess::~DemoServerProcess()
{
    stop();
}

QString DemoServerProcess::serverPath()
{
    return QStringLiteral(LUMORA_DEMO_SERVER_PATH);
}

QString DemoServerProcess::defaultMediaDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("LUMORA_TEST_MEDIA_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QFileInfo binary(serverPath());
    if (QFileInfo(binary.absolutePath()).isWritable())
        return binary.absolutePath() + QStringLiteral("/test-media");
    return QDir::tempPath() + QStringLiteral("/lumora-test-media");
}

bool DemoServerProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning && m_port != 0;
}

QString DemoServerProcess::logFilePath() const
{
    return m_logDir.filePath(QStringLiteral("demo-server.log"));
}

QByteArray DemoServerProcess::log() const
{
    QFile file(logFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool DemoServerProcess::start(int timeoutMs)
{
    if (isRunning())
        return true;
    stop();
    m_error.clear();
    if (!QFileInfo(serverPath()).isExecutable()) {
        m_error = QStringLiteral("no server binary at %1").arg(serverPath());
        return false;
    }
    if (qEnvironmentVariableIntValue("LUMORA_DEMO_SERVER_LOG") == 1)
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        m_process.setStandardErrorFile(logFilePath(), QIODevice::Append);
    m_process.setProgram(serverPath());
    m_process.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rtsp-port"), QStringLiteral("0"),
                            QStringLiteral("--media"), m_mediaDirectory});
    m_process.start(QIODevice::ReadOnly);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("server did not start: %1").arg(m_process.errorString());
        return false;
    }

    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (m_process.canReadLine() || m_process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 500)))) {
            output += m_process.readLine();
            if (output.endsWith('\n')) {
                const QByteArray line = output.trimmed();
                output.clear();
                const QByteArray prefix = "listening on 127.0.0.1:";
                const QByteArray rtspPrefix = "rtsp on 127.0.0.1:";
                if (line.startsWith(rtspPrefix))
                    m_rtspPort = quint16(line.mid(rtspPrefix.size()).toUInt());
                if (line.startsWith(prefix)) {
                    m_port = quint16(line.mid(prefix.size()).toUInt());
                    return m_port != 0;
                }
            }
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    m_error = m_process.state() == QProcess::NotRunning
        ? QStringLiteral("server ended (exit code %1): %2")
              .arg(m_process.exitCode())
              .arg(QString::fromUtf8(log().right(2000)))
        : QStringLiteral("server did not listen within %1 ms: %2")
              .arg(timeoutMs)
              .arg(QString::fromUtf8(log().right(2000)));
    stop();
    return false;
}

void DemoServerProcess::stop()
{
    m_port = 0;
    m_rtspPort = 0;
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString DemoServerProcess::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QString DemoServerProcess::rtspUrl(const QString &path) const
{
    return QStringLiteral("rtsp://127.0.0.1:%1%2").arg(m_rtspPort).arg(path);
}

bool DemoServerProcess::setFlakyUp(bool up, int timeoutMs)
{
    if (!isRunning())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(QByteArray("GET /control/") + (up ? "up" : "down") + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        if (socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            answer += socket.readAll();
    }
    answer += socket.readAll();
    return answer.startsWith("HTTP/1.1 200");
}

quint16 DemoServerProcess::closedPort()
{
    // The kernel hands out ephemeral ports in turn, so one just freed is not
    // reused soon by anyone else.
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 9; // discard: nothing listens there on a test machine
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
