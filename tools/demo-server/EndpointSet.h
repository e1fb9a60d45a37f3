#pragma once

#include <QByteArray>
#include <QString>

class ClientConnection;

// Endpoints that a program adds to the stations of StreamServer. The installed
// demonstration server adds none; the test stream server adds those that only
// tests need.
class EndpointSet
{
public:
    virtual ~EndpointSet() = default;

    // False when `path` is none of this set's.
    virtual bool serve(ClientConnection *connection, const QString &path) = 0;
    // Lines for the plain-text index at "/".
    virtual QByteArray index() const = 0;
};
