#include "PlaylistFetcher.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include "AsxPlaylist.h"

PlaylistFetcher::PlaylistFetcher(int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_timeoutMs(timeoutMs)
{
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
    QNetworkReply *reply = m_network.get(request);
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
        QString reason;
        switch (reply->error()) {
        case QNetworkReply::ConnectionRefusedError: reason = QStringLiteral("连接被拒绝"); break;
        case QNetworkReply::HostNotFoundError: reason = QStringLiteral("找不到服务器"); break;
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError: reason = QStringLiteral("连接超时"); break;
        case QNetworkReply::TooManyRedirectsError:
        case QNetworkReply::InsecureRedirectError: reason = QStringLiteral("重定向过多"); break;
        case QNetworkReply::ContentNotFoundError: reason = QStringLiteral("未找到(404)"); break;
        default:
            reason = status >= 500 ? QStringLiteral("服务器错误(%1)").arg(status)
                     : status > 0  ? QStringLiteral("服务器返回错误(%1)").arg(status)
                                   : QStringLiteral("无法打开");
        }
        Q_EMIT failed(m_tag, reason);
        return;
    }
    Q_EMIT fetched(m_tag, m_content, reply->url().toString());
}
