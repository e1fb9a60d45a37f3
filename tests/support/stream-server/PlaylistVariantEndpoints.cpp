#include "PlaylistVariantEndpoints.h"

#include "ClientConnection.h"
#include "PlaylistDocuments.h"
#include "StreamServer.h"

PlaylistVariantEndpoints::PlaylistVariantEndpoints(const StreamServer *server)
    : m_server(server)
{
}

QByteArray PlaylistVariantEndpoints::index() const
{
    return "/playlist/radio.wax tv.m3u tv.wvx\n";
}

bool PlaylistVariantEndpoints::serve(ClientConnection *connection, const QString &path)
{
    const QByteArray radio = m_server->base() + "/radio/1.mp3";
    const QByteArray tv = m_server->base() + "/tv/1.ts";
    const QString radioTitle = QStringLiteral("演示电台 1");
    const QString tvTitle = QStringLiteral("演示电视 1");
    if (path == QLatin1String("/playlist/tv.m3u")) {
        connection->reply(HttpResponse(200, "audio/x-mpegurl"), PlaylistDocuments::m3u(tv, tvTitle));
    } else if (path == QLatin1String("/playlist/radio.wax")) {
        connection->reply(HttpResponse(200, "audio/x-ms-wax"), PlaylistDocuments::asx(radio, radioTitle));
    } else if (path == QLatin1String("/playlist/tv.wvx")) {
        connection->reply(HttpResponse(200, "video/x-ms-wvx"), PlaylistDocuments::asx(tv, tvTitle));
    } else {
        return false;
    }
    return true;
}
