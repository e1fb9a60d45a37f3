#pragma once

#include <memory>

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include "Failure.h"

class QNetworkAccessManager;
class QNetworkReply;

// Fetches a small playlist document over HTTP without blocking: at most
// AsxPlaylist::kMaxBytes, a bounded number of redirects, and a time limit.
// One fetch at a time; a new one cancels the one before.
class PlaylistFetcher : public QObject
{
    Q_OBJECT

public:
    // Enough of a response to tell a playlist from a stream.
    static constexpr qsizetype kSniffBytes = 1024;

    explicit PlaylistFetcher(int timeoutMs, QObject *parent = nullptr);
    ~PlaylistFetcher() override;

    void fetch(const QString &address, quint64 tag);
    void cancel();

Q_SIGNALS:
    void fetched(quint64 tag, const QByteArray &content, const QString &finalAddress);
    void failed(quint64 tag, const Failure &failure);

private:
    void onFinished();

    // Made on the first fetch: most stations are no playlist, and a start
    // need not pay for the network stack.
    std::unique_ptr<QNetworkAccessManager> m_network;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_content;
    quint64 m_tag = 0;
    bool m_stoppedEarly = false;
    int m_timeoutMs;
};
