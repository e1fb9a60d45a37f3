#pragma once

#include <QString>

#include "EndpointSet.h"

class StreamServer;

// The endpoints under /fail/ that misbehave on purpose, for the player's tests.
// A station that goes away and comes back is not among them: the tests take a
// real Icecast mount's source away for that.
class FaultEndpoints : public EndpointSet
{
public:
    static constexpr qint64 kGarbageBytes = 2 * 1024 * 1024;
    static constexpr int kDefaultDropSeconds = 3;
    static constexpr int kHoldLimitMs = 10 * 60 * 1000;

    explicit FaultEndpoints(StreamServer *server);

    bool serve(ClientConnection *connection, const QString &path) override;
    QByteArray index() const override;

private:
    StreamServer *m_server;
};
