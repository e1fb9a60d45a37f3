#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "LiveStream.h"

class QTcpSocket;

// One client, from the request head to the closed socket. The connection owns
// everything that serves it, so a client that goes away frees it at once.
class ClientConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRequestTimeoutMs = 10 * 1000;

    ClientConnection(QTcpSocket *socket, QObject *parent = nullptr);

    QTcpSocket *socket() const { return m_socket; }
    const HttpRequest &request() const { return m_request; }
    bool isHead() const { return m_request.method() == "HEAD"; }

    // A finite answer, then the connection closes.
    void reply(HttpResponse response, const QByteArray &body);
    void replyText(int status, const QByteArray &text);
    // Headers, then a live stream until the client leaves or the stream ends.
    void stream(const HttpResponse &response, const MediaAsset *asset, LiveStream::Options options,
                const LiveStream::Maker &make = {});
    // Closes without a word.
    void drop();

Q_SIGNALS:
    void requestReady(ClientConnection *connection);
    void closed(ClientConnection *connection);

private:
    void readRequest();
    void log(int status) const;
    void closeWhenWritten();

    QTcpSocket *m_socket;
    QByteArray m_buffer;
    HttpRequest m_request;
    bool m_haveRequest = false;
    bool m_closed = false;
    QTimer m_deadline;
};
