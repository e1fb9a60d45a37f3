#include "FaultEndpoints.h"

#include "ClientConnection.h"
#include "PlaylistDocuments.h"
#include "StreamServer.h"

FaultEndpoints::FaultEndpoints(StreamServer *server)
    : m_server(server)
{
}

QByteArray FaultEndpoints::index() const
{
    return "/fail/404 500 hang silence garbage drop?after=S redirect redirect-loop self.m3u huge-icy trickle\n";
}

bool FaultEndpoints::serve(ClientConnection *connection, const QString &path)
{
    const QByteArray self = m_server->base() + path.toUtf8();
    if (path == QLatin1String("/fail/404")) {
        connection->replyText(404, "not found, on purpose\n");
    } else if (path == QLatin1String("/fail/500")) {
        connection->replyText(500, "server error, on purpose\n");
    } else if (path == QLatin1String("/fail/hang")) {
        connection->holdSilently();
    } else if (path == QLatin1String("/fail/silence")) {
        connection->holdAfter(HttpResponse(200, "audio/mpeg").add("icy-name", "演示 静默"));
    } else if (path == QLatin1String("/fail/garbage")) {
        LiveStream::Options options;
        options.randomBytes = true;
        options.randomBytesPerSecond = 16000;
        options.burstSeconds = 1;
        options.maxBytes = kGarbageBytes;
        connection->stream(HttpResponse(200, "audio/mpeg"), nullptr, options);
    } else if (path == QLatin1String("/fail/drop")) {
        bool ok = false;
        const double after = connection->request().query().queryItemValue(QStringLiteral("after")).toDouble(&ok);
        LiveStream::Options options;
        options.closeAfterMs = qint64(1000 * (ok ? qBound(0.0, after, 3600.0) : kDefaultDropSeconds));
        m_server->streamStation(connection, QStringLiteral("radio-1"), QStringLiteral("演示 断线"), options);
    } else if (path == QLatin1String("/fail/redirect")) {
        connection->reply(
            HttpResponse(302, "text/plain; charset=utf-8").add("Location", m_server->base() + "/radio/1.mp3"),
            "moved\n");
    } else if (path == QLatin1String("/fail/redirect-loop")) {
        connection->reply(HttpResponse(302, "text/plain; charset=utf-8").add("Location", self), "moved\n");
    } else if (path == QLatin1String("/fail/self.m3u")) {
        connection->reply(HttpResponse(200, "audio/x-mpegurl"), PlaylistDocuments::m3u(self, QStringLiteral("自己")));
    } else if (path == QLatin1String("/fail/huge-icy")) {
        m_server->streamStation(
            connection, QStringLiteral("radio-2"), QStringLiteral("演示 超长标题"), {}, IcyMetadata::Mode::Huge);
    } else if (path == QLatin1String("/fail/trickle")) {
        LiveStream::Options options;
        options.rateFactor = 0.25;
        options.burstSeconds = 0;
        m_server->streamStation(connection, QStringLiteral("radio-5"), QStringLiteral("演示 慢速"), options);
    } else {
        return false;
    }
    return true;
}
