#include "RtspServer.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>

#include "DemoServerLog.h"
#include "MediaLibrary.h"
#include "Mp3Frames.h"
#include "RtspSession.h"

RtspServer::RtspServer(const MediaLibrary *library, QObject *parent)
    : QObject(parent)
    , m_library(library)
{
    m_server.setMaxPendingConnections(kMaxConnections);
    connect(&m_server, &QTcpServer::newConnection, this, &RtspServer::accept);
}

RtspServer::~RtspServer() = default;

bool RtspServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

std::shared_ptr<const Mp3Frames> RtspServer::station(const QString &path)
{
    static const QRegularExpression pattern(QStringLiteral("^/radio/([1-8])(\\.mp3)?$"));
    const QRegularExpressionMatch match = pattern.match(path);
    if (!match.hasMatch())
        return {};
    const QString asset = QStringLiteral("radio-") + match.captured(1);
    auto found = m_frames.constFind(asset);
    if (found != m_frames.cend())
        return *found;
    const MediaAsset *media = m_library->asset(asset);
    if (!media)
        return {};
    auto frames = std::make_shared<const Mp3Frames>(media->head + media->body);
    if (!frames->isValid())
        return {};
    m_frames.insert(asset, frames);
    return frames;
}

void RtspServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_connections >= kMaxConnections) {
            qCWarning(lcDemoServer) << "too many RTSP clients, refusing one";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        auto *session = new RtspSession(socket, this);
        connect(session, &QObject::destroyed, this, [this] { --m_connections; });
    }
}
