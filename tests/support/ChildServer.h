#pragma once

#include <QByteArray>
#include <QList>

class QProcess;

// What the fixtures that run a server as a child process share: reading the
// line that announces its port, and ending it by its process id.
namespace ChildServer {

// Makes the process get SIGTERM should the test die without stopping it (a
// CTest timeout, a crash). Call before start(). A program that later changes
// its user (Icecast as root) loses this and relies on stop() alone.
void endWithTest(QProcess &process);
// Reads stdout lines until one starts with `prefix` ("listening on 127.0.0.1:")
// and returns the port that follows; 0 when the process ends or the time is up.
// `seen` (optional) receives every line read, for other announcements.
quint16 waitForPortLine(QProcess &process, const QByteArray &prefix, int timeoutMs, QList<QByteArray> *seen = nullptr);
// Whether something accepts connections on 127.0.0.1:port.
bool accepts(quint16 port);
// SIGTERM to the process, then SIGKILL when it has not ended within a few
// seconds; events are processed meanwhile.
void stop(QProcess &process);

} // namespace ChildServer
