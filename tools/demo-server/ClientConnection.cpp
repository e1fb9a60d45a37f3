#include "ClientConnection.h"

#include <QTcpSocket>

#include "DemoServerLog.h"

ClientConnection::ClientConnection(QTcpSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
{
    m_socket->setParent(this);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { m_socket->abort(); });
    m_deadline.start(kRequestTimeoutMs);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::readRequest);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_closed)
            return;
        m_closed = true;
        m_deadline.stop();
        Q_EMIT closed(this);
        deleteLater();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() != QAbstractSocket::ConnectedState && !m_closed) {
            m_closed = true;
            Q_EMIT closed(this);
            deleteLater();
        }
    });
}

void ClientConnection::readRequest()
{
    if (m_haveRequest) {
        // Whatever a client sends after its request does not matter; do not keep it.
        m_socket->readAll();
        return;
    }
    m_buffer += m_socket->read(HttpRequest::kMaxHeaderBytes + 4 - m_buffer.size());
    switch (m_request.parse(m_buffer)) {
    case HttpRequest::State::Incomplete:
        return;
    case HttpRequest::State::TooLarge:
        m_haveRequest = true;
        replyText(431, "request head too large\n");
        return;
    case HttpRequest::State::Invalid:
        m_haveRequest = true;
        replyText(400, "bad request\n");
        return;
    case HttpRequest::State::Complete:
        m_haveRequest = true;
        m_buffer.clear();
        m_deadline.stop();
        Q_EMIT requestReady(this);
        return;
    }
}

void ClientConnection::log(int status) const
{
    qCInfo(lcDemoServer).noquote() << QString::fromUtf8(m_request.method()) << QString::fromUtf8(m_request.path())
                                   << status;
}

void ClientConnection::reply(HttpResponse response, const QByteArray &body)
{
    log(response.status());
    response.setContentLength(body.size());
    m_socket->write(response.head());
    if (!isHead())
        m_socket->write(body);
    closeWhenWritten();
}

void ClientConnection::replyText(int status, const QByteArray &text)
{
    reply(HttpResponse(status, "text/plain; charset=utf-8"), text);
}

void ClientConnection::closeWhenWritten()
{
    m_socket->disconnectFromHost();
    // A client that never reads its answer does not keep the socket forever.
    m_deadline.start(kRequestTimeoutMs);
}

void ClientConnection::stream(const HttpResponse &response, const MediaAsset *asset, LiveStream::Options options,
                              const LiveStream::Maker &make)
{
    log(200);
    m_socket->write(response.head());
    if (isHead()) {
        closeWhenWritten();
        return;
    }
    LiveStream *live = make ? make(m_socket, asset, std::move(options), this)
                            : new LiveStream(m_socket, asset, std::move(options), this);
    connect(live, &LiveStream::finished, this, [this] {
        if (m_socket->state() == QAbstractSocket::ConnectedState)
            closeWhenWritten();
    });
    live->start();
}

void ClientConnection::drop()
{
    log(-1);
    m_socket->abort();
}
