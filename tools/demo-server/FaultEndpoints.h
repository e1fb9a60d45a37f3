#pragma once

#include <QList>
#include <QPointer>
#include <QString>

class ClientConnection;
class StreamServer;

// The endpoints under /fail/ that misbehave on purpose, for the player's tests,
// and /control/ that switches /fail/flaky between up and down.
class FaultEndpoints
{
public:
    static constexpr qint64 kGarbageBytes = 2 * 1024 * 1024;
    static constexpr int kDefaultDropSeconds = 3;

    explicit FaultEndpoints(StreamServer *server);

    // False when `path` is none of these endpoints.
    bool serve(ClientConnection *connection, const QString &path);
    bool flakyIsUp() const { return m_flakyUp; }

private:
    void setFlakyUp(bool up);

    StreamServer *m_server;
    bool m_flakyUp = true;
    QList<QPointer<ClientConnection>> m_flaky;
};
