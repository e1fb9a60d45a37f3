#include "MmshEndpoints.h"

#include "ClientConnection.h"
#include "MediaLibrary.h"
#include "MmshFraming.h"

MmshEndpoints::MmshEndpoints(const MediaLibrary *library)
    : m_library(library)
{
}

QByteArray MmshEndpoints::index() const
{
    return "/mms/radio                      WMA framed for mms:// (also /radio/wma to MMS clients)\n";
}

bool MmshEndpoints::isMmshRequest(const ClientConnection *connection)
{
    const HttpRequest &request = connection->request();
    return request.header("user-agent").startsWith("NSPlayer") || request.header("pragma").contains("xClientGUID");
}

const MediaAsset *MmshEndpoints::framed()
{
    if (m_framed)
        return &*m_framed;
    const std::shared_ptr<const AsfBroadcast> asf = m_library->broadcast(QStringLiteral("radio-wma"));
    if (!asf)
        return nullptr;
    MediaAsset framed;
    framed.contentType = "application/x-mms-framed";
    framed.head = MmshFraming::headerChunk(*asf);
    framed.body = MmshFraming::dataChunks(*asf, 0);
    framed.bytesPerSecond = double(framed.body.size()) * 1000.0 / double(asf->loopMs());
    framed.pass = [asf](quint32 loop) { return MmshFraming::dataChunks(*asf, loop); };
    m_framed = std::move(framed);
    return &*m_framed;
}

bool MmshEndpoints::serve(ClientConnection *connection, const QString &path)
{
    if (path != QLatin1String("/mms/radio") && !(path == QLatin1String("/radio/wma") && isMmshRequest(connection)))
        return false;
    const MediaAsset *media = framed();
    if (!media) {
        connection->replyText(500, "medium missing\n");
        return true;
    }
    // MMS over HTTP asks twice: first for the ASF header alone, then, with
    // xPlayStrm=1, for the stream itself, header chunk included.
    HttpResponse response(200, "application/vnd.ms.wms-hdr.asfv1");
    response.add("Cache-Control", "no-cache").add("Pragma", "no-cache").add("Pragma", "features=\"broadcast\"");
    if (!connection->request().header("pragma").contains("xPlayStrm=1")) {
        connection->reply(response, media->head);
        return true;
    }
    HttpResponse streaming(200, media->contentType);
    streaming.add("Cache-Control", "no-cache").add("Pragma", "no-cache").add("Pragma", "features=\"broadcast\"");
    connection->stream(streaming, media, {});
    return true;
}
