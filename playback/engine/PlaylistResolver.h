#pragma once

#include <QObject>
#include <QString>

#include "Failure.h"
#include "PlaylistFetcher.h"

// Turns an address into the stream to load. An address that names a Windows
// Media playlist (or one that libmpv could not read, looked at once more) is
// fetched; a playlist leads to its first network stream, or to another
// playlist, but not deeper than kMaxDepth. Every call returns at once: the
// answer comes as resolved() or failed(). A new address, or cancel(), drops
// whatever answer was still on its way.
class PlaylistResolver : public QObject
{
    Q_OBJECT

public:
    // A playlist may point at another playlist, but not without end.
    static constexpr int kMaxDepth = 3;

    explicit PlaylistResolver(int timeoutMs, QObject *parent = nullptr);

    // A new address: forgets the one before, its depth and whether it was
    // looked at. True when a playlist is fetched for it and resolved() or
    // failed() follows; false when the address itself is the one to load.
    bool resolve(const QString &address);
    // An address that libmpv could not read may be a playlist served without
    // its extension: looks once. sniffed() is true from now on.
    void sniff(const QString &address);
    bool sniffed() const { return m_sniffed; }
    // One more playlist on the way (one that libmpv read itself); false once
    // playlists led to playlists too often.
    bool descend() { return ++m_depth <= kMaxDepth; }
    // No answer comes for what was asked before.
    void cancel();

Q_SIGNALS:
    // A playlist is being fetched; whatever played before has no place now.
    void fetching(const QString &address);
    // The stream to load.
    void resolved(const QString &address);
    void failed(const Failure &failure);
    // The second look found no playlist and nothing new either: libmpv's own
    // reason for not reading the address stands.
    void nothingFound();

private:
    void fetch(const QString &address);
    void onFetched(quint64 tag, const QByteArray &content, const QString &finalAddress);
    void onFailed(quint64 tag, const Failure &failure);

    PlaylistFetcher m_fetcher;
    quint64 m_tag = 0; // of the address being resolved
    int m_depth = 0;
    bool m_sniffed = false;
};
