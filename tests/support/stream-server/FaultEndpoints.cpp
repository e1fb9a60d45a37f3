#include "FaultEndpoints.h"

#include <QTcpSocket>
#include <QTimer>

#include "ClientConnection.h"
#include "HugeIcyMetadata.h"
#include "NoiseStream.h"
#include "PlaylistDocuments.h"
#include "StreamServer.h"
#include "TrickleStream.h"

namespace {

// Keeps a connection open with nothing more said, as a server that hangs;
// bounded, so that a forgotten client does not hold it for ever.
void hold(ClientConnection *connection)
{
    QTimer::singleShot(FaultEndpoints::kHoldLimitMs, connection, &ClientConnection::drop);
}

} // namespace

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
        hold(connection);
    } else if (path == QLatin1String("/fail/silence")) {
        connection->socket()->write(HttpResponse(200, "audio/mpeg").add("icy-name", "演示 静默").head());
        if (connection->isHead())
            connection->socket()->disconnectFromHost();
        else
            hold(connection);
    } else if (path == QLatin1String("/fail/garbage")) {
        connection->stream(HttpResponse(200, "audio/mpeg"), nullptr, {},
                           [](QTcpSocket *socket, const MediaAsset *, LiveStream::Options, QObject *parent) {
                               return new NoiseStream(socket, kGarbageBytes, parent);
                           });
    } else if (path == QLatin1String("/fail/drop")) {
        bool ok = false;
        const double after = connection->request().query().queryItemValue(QStringLiteral("after")).toDouble(&ok);
        const int afterMs = int(1000 * (ok ? qBound(0.0, after, 3600.0) : kDefaultDropSeconds));
        m_server->streamStation(
            connection, QStringLiteral("radio-1"), QStringLiteral("演示 断线"), {}, IcyMetadata::Encoding::Utf8,
            [afterMs](QTcpSocket *socket, const MediaAsset *asset, LiveStream::Options options, QObject *parent) {
                auto *live = new LiveStream(socket, asset, std::move(options), parent);
                QTimer::singleShot(afterMs, live, &LiveStream::end);
                return live;
            });
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
            connection, QStringLiteral("radio-2"), QStringLiteral("演示 超长标题"), {}, IcyMetadata::Encoding::Utf8,
            [](QTcpSocket *socket, const MediaAsset *asset, LiveStream::Options options, QObject *parent) {
                if (options.icy)
                    options.icy = std::make_shared<HugeIcyMetadata>(options.icy->titleSource());
                return new LiveStream(socket, asset, std::move(options), parent);
            });
    } else if (path == QLatin1String("/fail/trickle")) {
        m_server->streamStation(
            connection, QStringLiteral("radio-5"), QStringLiteral("演示 慢速"), {}, IcyMetadata::Encoding::Utf8,
            [](QTcpSocket *socket, const MediaAsset *asset, LiveStream::Options options, QObject *parent) {
                return new TrickleStream(socket, asset, std::move(options), parent);
            });
    } else {
        return false;
    }
    return true;
}
