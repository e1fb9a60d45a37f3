#include "ChildServer.h"

#include <csignal>

#include <sys/prctl.h>

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

namespace ChildServer {

void endWithTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

quint16 waitForPortLine(QProcess &process, const QByteArray &prefix, int timeoutMs, QList<QByteArray> *seen)
{
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (process.canReadLine() || process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 500)))) {
            output += process.readLine();
            if (output.endsWith('\n')) {
                const QByteArray line = output.trimmed();
                output.clear();
                if (seen)
                    seen->append(line);
                if (line.startsWith(prefix))
                    return quint16(line.mid(prefix.size()).toUInt());
            }
        }
        if (process.state() == QProcess::NotRunning && !process.canReadLine())
            break;
    }
    return 0;
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    // Waiting with the event loop running, so that a player under test stays
    // as responsive as it would be without the test around it.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace ChildServer
