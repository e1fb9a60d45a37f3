#include "DemoServerProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>

#include "ChildServer.h"

DemoServerProcess::DemoServerProcess(QObject *parent)
    : QObject(parent)
    , m_program(serverPath())
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

QString DemoServerProcess::demoServerPath()
{
    return QStringLiteral(LUMORA_INSTALLED_DEMO_SERVER_PATH);
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
    if (!QFileInfo(m_program).isExecutable()) {
        m_error = QStringLiteral("no server binary at %1").arg(m_program);
        return false;
    }
    if (qEnvironmentVariableIntValue("LUMORA_DEMO_SERVER_LOG") == 1)
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        m_process.setStandardErrorFile(logFilePath(), QIODevice::Append);
    ChildServer::endWithTest(m_process);
    m_process.setProgram(m_program);
    m_process.setArguments(
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--media"), m_mediaDirectory });
    m_process.start(QIODevice::ReadOnly);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("server did not start: %1").arg(m_process.errorString());
        return false;
    }

    m_port = ChildServer::waitForPortLine(m_process, "listening on 127.0.0.1:", timeoutMs);
    if (m_port != 0)
        return true;
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
    ChildServer::stop(m_process);
}

QString DemoServerProcess::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
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
