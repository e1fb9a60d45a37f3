#include "StreamServer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>

#include "ClientConnection.h"
#include "DemoServerLog.h"
#include "HlsPlaylist.h"
#include "MediaLibrary.h"
#include "PlaylistDocuments.h"

namespace {

struct Station
{
    const char *path;
    const char *asset;
    const char *name;
    const char *genre;
};

// The stations that loop a single file; MP3 ones speak ICY when asked.
const Station kStations[] = {
    {"/radio/aac", "radio-aac", "演示电台 AAC", "演示"},
    {"/radio/ogg", "radio-ogg", "演示电台 Vorbis", "演示"},
    {"/radio/opus", "radio-opus", "演示电台 Opus", "演示"},
    {"/radio/wma", "radio-wma", "演示电台 WMA", "演示"},
};

} // namespace

StreamServer::StreamServer(const MediaLibrary *library, QObject *parent)
    : QObject(parent)
    , m_library(library)
{
    m_server.setMaxPendingConnections(kMaxConnections);
    connect(&m_server, &QTcpServer::newConnection, this, &StreamServer::accept);
}

StreamServer::~StreamServer() = default;

void StreamServer::addEndpoints(std::unique_ptr<EndpointSet> endpoints)
{
    m_endpoints.push_back(std::move(endpoints));
}

bool StreamServer::listen(quint16 port)
{
    m_uptime.start();
    return m_server.listen(QHostAddress::LocalHost, port);
}

QByteArray StreamServer::base() const
{
    return "http://127.0.0.1:" + QByteArray::number(port());
}

void StreamServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *connection = new ClientConnection(socket, this);
        ++m_connections;
        connect(connection, &ClientConnection::closed, this, [this] { --m_connections; });
        if (m_connections > kMaxConnections) {
            qCWarning(lcDemoServer) << "too many clients, refusing one";
            connection->replyText(503, "too many clients\n");
            continue;
        }
        connect(connection, &ClientConnection::requestReady, this, &StreamServer::dispatch);
    }
}

void StreamServer::dispatch(ClientConnection *connection)
{
    const HttpRequest &request = connection->request();
    const QString path = QString::fromUtf8(request.path());
    if (request.method() != "GET" && request.method() != "HEAD") {
        connection->reply(HttpResponse(405, "text/plain; charset=utf-8").add("Allow", "GET, HEAD"),
                          "method not allowed\n");
        return;
    }
    if (path == QLatin1String("/")) {
        connection->reply(HttpResponse(200, "text/plain; charset=utf-8"), index());
        return;
    }
    for (const std::unique_ptr<EndpointSet> &set : m_endpoints) {
        if (set->serve(connection, path))
            return;
    }
    if (serveMedia(connection, path) || serveHls(connection, path) || servePlaylist(connection, path))
        return;
    connection->replyText(404, "not found\n");
}

void StreamServer::streamStation(ClientConnection *connection, const QString &asset, const QString &name,
                                 LiveStream::Options options, IcyMetadata::Encoding encoding,
                                 const LiveStream::Maker &make)
{
    const MediaAsset *media = m_library->asset(asset);
    if (!media) {
        connection->replyText(500, "medium missing\n");
        return;
    }
    HttpResponse response(200, media->contentType);
    response.add("icy-name", name.toUtf8())
        .add("icy-genre", "演示")
        .add("icy-br", QByteArray::number(qRound(media->bytesPerSecond * 8 / 1000)))
        .add("icy-pub", "0")
        .add("icy-url", base() + '/');
    if (connection->request().header("icy-metadata").trimmed() == "1") {
        response.add("icy-metaint", QByteArray::number(IcyMetadata::kMetaInt));
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        // A new "song" every five seconds, so that title changes are seen soon.
        options.icy = std::make_shared<IcyMetadata>(
            [clock, name] {
                return QStringLiteral("%1 - 第 %2 首").arg(name).arg(clock->elapsed() / 5000 + 1);
            },
            IcyMetadata::kMetaInt, encoding);
    }
    connection->stream(response, media, std::move(options), make);
}

bool StreamServer::serveMedia(ClientConnection *connection, const QString &path)
{
    static const QRegularExpression numbered(QStringLiteral("^/(radio|xs|tv)/(\\d+)\\.(mp3|ts)$"));
    const QRegularExpressionMatch match = numbered.match(path);
    if (match.hasMatch()) {
        const QString kind = match.captured(1);
        const int n = match.captured(2).toInt();
        const bool ts = match.captured(3) == QLatin1String("ts");
        const int count = kind == QLatin1String("radio") ? 8 : kind == QLatin1String("xs") ? 4 : 3;
        if (n < 1 || n > count || ts != (kind == QLatin1String("tv")))
            return false;
        const QString asset = QStringLiteral("%1-%2").arg(kind).arg(n);
        if (kind == QLatin1String("tv")) {
            const MediaAsset *media = m_library->asset(asset);
            if (!media)
                return false;
            connection->stream(HttpResponse(200, media->contentType), media, {});
            return true;
        }
        const QString name = kind == QLatin1String("radio") ? QStringLiteral("演示电台 %1").arg(n)
                                                            : QStringLiteral("演示相声 %1").arg(n);
        streamStation(connection, asset, name, {});
        return true;
    }
    if (path == QLatin1String("/radio/gbk.mp3")) {
        // As many Chinese servers do it: the titles in GBK, not UTF-8.
        streamStation(connection, QStringLiteral("radio-4"), QStringLiteral("演示电台 GBK"), {},
                      IcyMetadata::Encoding::Gb18030);
        return true;
    }
    for (const Station &station : kStations) {
        if (path == QLatin1String(station.path)) {
            const MediaAsset *media = m_library->asset(QLatin1String(station.asset));
            if (!media)
                return false;
            HttpResponse response(200, media->contentType);
            response.add("icy-name", station.name).add("icy-genre", station.genre);
            connection->stream(response, media, {});
            return true;
        }
    }
    return false;
}

bool StreamServer::serveHls(ClientConnection *connection, const QString &path)
{
    static const QRegularExpression pattern(QStringLiteral("^/hls/(radio|tv)(\\.m3u8|/seg-(\\d{1,18})\\.ts)$"));
    const QRegularExpressionMatch match = pattern.match(path);
    if (!match.hasMatch())
        return false;
    const QString name = match.captured(1);
    const HlsPlaylist *hls = m_library->hls(QStringLiteral("hls-") + name);
    if (!hls || !hls->isValid())
        return false;
    if (match.captured(2) == QLatin1String(".m3u8")) {
        connection->reply(HttpResponse(200, "application/vnd.apple.mpegurl"),
                          hls->playlist(uptimeMs(), "/hls/" + name.toUtf8() + "/seg-"));
        return true;
    }
    connection->reply(HttpResponse(200, "video/mp2t"), hls->segment(match.captured(3).toLongLong()));
    return true;
}

bool StreamServer::servePlaylist(ClientConnection *connection, const QString &path)
{
    const QByteArray radio = base() + "/radio/1.mp3";
    const QString radioTitle = QStringLiteral("演示电台 1");
    if (path == QLatin1String("/playlist/radio.pls")) {
        connection->reply(HttpResponse(200, "audio/x-scpls"), PlaylistDocuments::pls(radio, radioTitle));
    } else if (path == QLatin1String("/playlist/radio.m3u")) {
        connection->reply(HttpResponse(200, "audio/x-mpegurl"), PlaylistDocuments::m3u(radio, radioTitle));
    } else if (path == QLatin1String("/playlist/radio.asx")) {
        connection->reply(HttpResponse(200, "video/x-ms-asf"), PlaylistDocuments::asx(radio, radioTitle));
    } else {
        return false;
    }
    return true;
}

QByteArray StreamServer::index() const
{
    QByteArray text = "lumora-demo-server\n\n"
                      "/radio/1.mp3 ... /radio/8.mp3   MP3 stations (Icy-MetaData: 1 gives ICY titles)\n"
                      "/radio/gbk.mp3                  MP3 station whose ICY titles are GBK\n"
                      "/radio/aac /radio/ogg /radio/opus /radio/wma\n"
                      "/xs/1.mp3 ... /xs/4.mp3         spoken dialogue\n"
                      "/tv/1.ts /tv/2.ts /tv/3.ts      MPEG-TS, H.264 + AAC\n"
                      "/hls/radio.m3u8 /hls/tv.m3u8    live HLS\n"
                      "/playlist/radio.pls radio.m3u radio.asx\n";
    for (const std::unique_ptr<EndpointSet> &set : m_endpoints)
        text += set->index();
    return text;
}
