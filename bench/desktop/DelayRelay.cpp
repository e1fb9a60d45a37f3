#include "DelayRelay.h"

#include <algorithm>

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

struct DelayRelay::Direction
{
    QTcpSocket *from = nullptr;
    QTcpSocket *to = nullptr;
    int way = 0; // 0: towards the station, 1: back to the listener
    qint64 notBefore = 0;
    std::deque<std::pair<qint64, QByteArray>> queue; // due time (ns), bytes
    QTimer *timer = nullptr;
    bool fromClosed = false;
};

DelayRelay::DelayRelay(quint16 targetPort, int delayMs, double bitsPerSecond)
    : m_target(targetPort)
    , m_delayNs(qint64(delayMs) * 1000000)
    , m_bitsPerSecond(bitsPerSecond)
{
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, &DelayRelay::accept);
}

bool DelayRelay::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void DelayRelay::accept()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        auto *station = new QTcpSocket(client);
        station->connectToHost(QHostAddress::LocalHost, m_target);
        auto *up = new Direction{client, station, 0, m_clock.nsecsElapsed() + 2 * m_delayNs, {}, nullptr, false};
        auto *down = new Direction{station, client, 1, 0, {}, nullptr, false};
        for (Direction *d : {up, down}) {
            d->timer = new QTimer(client);
            d->timer->setSingleShot(true);
            d->timer->setTimerType(Qt::PreciseTimer);
            connect(d->timer, &QTimer::timeout, this, [this, d] { deliver(d); });
            connect(d->from, &QTcpSocket::readyRead, this, [this, d] { take(d); });
            connect(d->from, &QTcpSocket::disconnected, this, [this, d] {
                take(d);
                d->fromClosed = true;
                deliver(d);
            });
        }
        connect(client, &QObject::destroyed, this, [up, down] {
            delete up;
            delete down;
        });
        // A station that cannot be reached ends the listener's connection.
        connect(station, &QTcpSocket::errorOccurred, client, [client, station] {
            if (station->state() != QAbstractSocket::ConnectedState)
                client->disconnectFromHost();
        });
        // A listener that goes (zapping away) takes its station connection
        // with it; what was still on its way to it is dropped.
        connect(client, &QTcpSocket::disconnected, client, [this, client, station, down] {
            down->queue.clear();
            down->timer->stop();
            station->disconnect(this);
            station->abort();
            client->deleteLater();
        });
    }
}

void DelayRelay::take(Direction *d)
{
    const QByteArray bytes = d->from->readAll();
    if (bytes.isEmpty())
        return;
    // Serialised on the way's link at its rate, then carried for the delay.
    const qint64 start = std::max({m_clock.nsecsElapsed(), m_linkFree[d->way], d->notBefore});
    m_linkFree[d->way] = start + qint64(bytes.size() * 8 * 1e9 / m_bitsPerSecond);
    d->queue.emplace_back(m_linkFree[d->way] + m_delayNs, bytes);
    schedule(d);
}

void DelayRelay::deliver(Direction *d)
{
    const qint64 now = m_clock.nsecsElapsed();
    while (!d->queue.empty() && d->queue.front().first <= now) {
        d->to->write(d->queue.front().second);
        d->queue.pop_front();
    }
    if (d->queue.empty() && d->fromClosed) {
        d->to->disconnectFromHost();
        return;
    }
    schedule(d);
}

void DelayRelay::schedule(Direction *d)
{
    if (d->queue.empty() || d->timer->isActive())
        return;
    const qint64 wait = d->queue.front().first - m_clock.nsecsElapsed();
    d->timer->start(int(std::max<qint64>(0, (wait + 999999) / 1000000)));
}
