#include "MpvControl.h"

#include <QThread>

#include "ChildServer.h"

MpvControl::~MpvControl()
{
    stop();
}

bool MpvControl::start()
{
    const QString socketPath = m_dir.filePath(QStringLiteral("mpv.sock"));
    ChildServer::endWithTest(m_mpv);
    m_mpv.setStandardOutputFile(QProcess::nullDevice());
    m_mpv.setStandardErrorFile(QProcess::nullDevice());
    m_mpv.start(QStringLiteral("mpv"), {QStringLiteral("--no-config"), QStringLiteral("--no-video"),
                                        QStringLiteral("--idle=yes"), QStringLiteral("--no-terminal"),
                                        QStringLiteral("--input-ipc-server=") + socketPath});
    if (!m_mpv.waitForStarted(5000))
        return false;
    for (int i = 0; i < 100 && m_socket.state() != QLocalSocket::ConnectedState; ++i) {
        QThread::msleep(50);
        m_socket.connectToServer(socketPath);
        m_socket.waitForConnected(200);
    }
    return m_socket.state() == QLocalSocket::ConnectedState;
}

void MpvControl::stop()
{
    m_socket.abort();
    if (m_mpv.state() != QProcess::NotRunning) {
        m_mpv.terminate();
        if (!m_mpv.waitForFinished(3000)) {
            m_mpv.kill();
            m_mpv.waitForFinished(3000);
        }
    }
}

void MpvControl::load(const QString &url)
{
    m_socket.readAll(); // events we do not read
    m_socket.write("{\"command\": [\"loadfile\", \"" + url.toUtf8() + "\"]}\n");
    m_socket.flush();
    m_socket.waitForBytesWritten(1000);
}
