#pragma once

#include <deque>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;
class QTimer;

// A TCP relay on 127.0.0.1 that makes the loopback look like a slow, distant
// link: every byte is held `delayMs` in each direction (a round trip of twice
// that), each direction is one link of `bitsPerSecond` shared by all
// connections, and a client's first bytes leave no earlier than one round
// trip after it connected (the handshake a real connection would have had).
// What a listener far from the station sees, for a kernel without netem.
class DelayRelay : public QObject
{
public:
    DelayRelay(quint16 targetPort, int delayMs, double bitsPerSecond);
    bool listen();
    quint16 port() const { return m_server.serverPort(); }

private:
    struct Direction; // one way of one connection
    void accept();
    void take(Direction *d);
    void deliver(Direction *d);
    void schedule(Direction *d);

    QTcpServer m_server;
    QElapsedTimer m_clock;
    quint16 m_target;
    qint64 m_delayNs;
    double m_bitsPerSecond;
    qint64 m_linkFree[2] = {0, 0}; // when each way's link is next free, ns
};
