#include "PlaylistResolver.h"

#include "AddressPolicy.h"
#include "AsxPlaylist.h"

PlaylistResolver::PlaylistResolver(int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_fetcher(timeoutMs)
{
    connect(&m_fetcher, &PlaylistFetcher::fetched, this, &PlaylistResolver::onFetched);
    connect(&m_fetcher, &PlaylistFetcher::failed, this, &PlaylistResolver::onFailed);
}

bool PlaylistResolver::resolve(const QString &address)
{
    ++m_tag;
    m_depth = 0;
    m_sniffed = false;
    if (!AddressPolicy::isNetwork(address) || !AsxPlaylist::isPlaylistAddress(address))
        return false;
    fetch(address);
    return true;
}

void PlaylistResolver::sniff(const QString &address)
{
    m_sniffed = true;
    fetch(address);
}

void PlaylistResolver::cancel()
{
    ++m_tag;
    m_fetcher.cancel();
}

void PlaylistResolver::fetch(const QString &address)
{
    Q_EMIT fetching(address);
    m_fetcher.fetch(address, m_tag);
}

void PlaylistResolver::onFetched(quint64 tag, const QByteArray &content, const QString &finalAddress)
{
    if (tag != m_tag)
        return;
    using Kind = Failure::Kind;
    if (content.isEmpty()) {
        Q_EMIT failed(Failure(m_sniffed ? Kind::Timeout : Kind::NoData));
        return;
    }
    if (!AsxPlaylist::looksLikePlaylist(content)) {
        Q_EMIT failed(Failure(m_sniffed ? Kind::UnsupportedFormat : Kind::NotAPlaylist));
        return;
    }
    // A playlist from the network may only lead to other network streams.
    for (const QString &ref : AsxPlaylist::references(content, finalAddress)) {
        if (!AddressPolicy::isNetwork(ref))
            continue;
        if (!AsxPlaylist::isPlaylistAddress(ref))
            Q_EMIT resolved(ref);
        else if (descend())
            fetch(ref);
        else
            Q_EMIT failed(Failure(Kind::NestedPlaylist));
        return;
    }
    Q_EMIT failed(Failure(Kind::EmptyPlaylist));
}

void PlaylistResolver::onFailed(quint64 tag, const Failure &failure)
{
    if (tag != m_tag)
        return;
    // A second look that fails tells nothing new, unless the server sent
    // nothing at all.
    if (m_sniffed && failure.kind() != Failure::Kind::Timeout)
        Q_EMIT nothingFound();
    else
        Q_EMIT failed(failure);
}
