#include "PlaylistFetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "AsxPlaylist.h"

PlaylistFetcher::PlaylistFetcher(int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_timeoutMs(timeoutMs)
{
}

PlaylistFetcher::~PlaylistFetcher()
{
    cancel();
}

void PlaylistFetcher::fetch(const QString &address, quint64 tag)
{
    cancel();
    m_tag = tag;
    m_content.clear();
    m_stoppedEarly = false;
    QNetworkRequest request{QUrl(address)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(m_timeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Lumora"));
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        m_content += reply->readAll();
        // A stream, not a playlist: no need to read on.
        if (m_content.size() >= kSniffBytes && !AsxPlaylist::looksLikePlaylist(m_content)) {
            m_stoppedEarly = true;
            reply->abort();
            return;
        }
        if (m_content.size() > AsxPlaylist::kMaxBytes) {
            // Stop reading; what arrived so far is enough to find the
            // references of any real playlist.
            m_content.truncate(AsxPlaylist::kMaxBytes);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, &PlaylistFetcher::onFinished);
}

void PlaylistFetcher::cancel()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void PlaylistFetcher::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    if (reply->isOpen())
        m_content += reply->readAll();
    const bool truncated = m_stoppedEarly || m_content.size() >= AsxPlaylist::kMaxBytes;
    if (reply->error() != QNetworkReply::NoError && !(truncated && reply->error() == QNetworkReply::OperationCanceledError)) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        using Kind = Failure::Kind;
        Failure failure;
        switch (reply->error()) {
        case QNetworkReply::ConnectionRefusedError: failure = Failure(Kind::ConnectionRefused); break;
        case QNetworkReply::HostNotFoundError: failure = Failure(Kind::UnknownHost); break;
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError: failure = Failure(Kind::Timeout); break;
        case QNetworkReply::TooManyRedirectsError:
        case QNetworkReply::InsecureRedirectError: failure = Failure(Kind::TooManyRedirects); break;
        case QNetworkReply::ContentNotFoundError: failure = Failure(Kind::NotFound); break;
        default:
            failure = status >= 500 ? Failure::http(Kind::ServerError, status)
                      : status > 0  ? Failure::http(Kind::HttpError, status)
                                    : Failure(Kind::CannotOpen);
        }
        Q_EMIT failed(m_tag, failure);
        return;
    }
    Q_EMIT fetched(m_tag, m_content, reply->url().toString());
}
