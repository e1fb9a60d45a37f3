#pragma once

#include <QString>

#include "EndpointSet.h"

class StreamServer;

// Playlist forms the demonstration catalogue does not use but the player
// reads: an M3U and a WVX that point at TV, and a WAX.
class PlaylistVariantEndpoints : public EndpointSet
{
public:
    explicit PlaylistVariantEndpoints(const StreamServer *server);

    bool serve(ClientConnection *connection, const QString &path) override;
    QByteArray index() const override;

private:
    const StreamServer *m_server;
};
