#include "RtspServerProcess.h"

#include <QFileInfo>

#include "ChildServer.h"

namespace {

// GStreamer's Python bindings are Debian packages for Debian's own Python,
// whatever else comes first on PATH.
const char kPython[] = "/usr/bin/python3";

} // namespace

RtspServerProcess::RtspServerProcess(QObject *parent)
    : QObject(parent)
{
}

RtspServerProcess::~RtspServerProcess()
{
    stop();
}

bool RtspServerProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning && m_port != 0;
}

QString RtspServerProcess::url(const QString &path) const
{
    return QStringLiteral("rtsp://127.0.0.1:%1%2").arg(m_port).arg(path);
}

bool RtspServerProcess::start(int timeoutMs)
{
    if (isRunning())
        return true;
    stop();
    m_error.clear();
    const QString script = QStringLiteral(LUMORA_RTSP_SERVER_SCRIPT);
    if (!QFileInfo(QString::fromLatin1(kPython)).isExecutable() || !QFileInfo::exists(script)) {
        m_error = QStringLiteral("%1 or %2 is missing").arg(QString::fromLatin1(kPython), script);
        return false;
    }
    ChildServer::endWithTest(m_process);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QString::fromLatin1(kPython), { script, QStringLiteral("--port"), QStringLiteral("0") });
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("the RTSP server did not start: %1").arg(m_process.errorString());
        return false;
    }
    m_port = ChildServer::waitForPortLine(m_process, "rtsp on 127.0.0.1:", timeoutMs);
    if (m_port != 0)
        return true;
    m_error = QStringLiteral("the RTSP server did not listen (exit code %1; its errors are above)")
                  .arg(m_process.exitCode());
    stop();
    return false;
}

void RtspServerProcess::stop()
{
    m_port = 0;
    ChildServer::stop(m_process);
}
