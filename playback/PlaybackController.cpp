#include "PlaybackController.h"

#include <utility>

#include <QUrl>

#include "AddressPolicy.h"
#include "AsxPlaylist.h"
#include "FailureReason.h"
#include "MpvLibrary.h"
#include "PlayerLog.h"

namespace {

constexpr int kMaxLoggedErrors = 20;
// A playlist may point at another playlist, but not without end.
constexpr int kMaxPlaylistDepth = 3;
// Past the network timeout, so that a silent server fails as timed out
// before a babbling one is given up as unreadable.
constexpr int kOpenGraceMs = 3000;

}

PlaybackController::PlaybackController(const MpvCore::Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_fetcher(static_cast<int>(options.networkTimeoutSeconds * 1000))
{
    connect(&m_fetcher, &PlaylistFetcher::fetched, this, &PlaybackController::onPlaylistFetched);
    connect(&m_fetcher, &PlaylistFetcher::failed, this, [this](quint64 tag, const Failure &failure) {
        if (tag != m_open)
            return;
        // A second look that fails tells nothing new, unless the server sent
        // nothing at all: libmpv's reason stands.
        const bool silent = failure.kind() == Failure::Kind::Timeout;
        m_status.failed(m_sniffed && !silent ? FailureReason::describe(m_errors, MPV_ERROR_UNKNOWN_FORMAT) : failure);
    });
    // A server that sends bytes that never become sound: libmpv would go on
    // probing; the player gives up after the network timeout.
    m_openTimer.setSingleShot(true);
    m_openTimer.setInterval(static_cast<int>(options.networkTimeoutSeconds * 1000) + kOpenGraceMs);
    connect(&m_openTimer, &QTimer::timeout, this, &PlaybackController::onOpenTimedOut);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, [this] {
        m_status.reconnecting(m_reconnect.attempt(), 0);
        load(m_target);
    });
}

PlaybackController::~PlaybackController() = default;

bool PlaybackController::ensureEngine()
{
    if (m_core)
        return true;
    if (m_engineFailed)
        return false;
    auto core = std::make_unique<MpvCore>(m_options);
    if (!core->isValid()) {
        m_engineFailed = true;
        qCCritical(lcPlayer) << "播放器不可用:" << core->initError();
        m_status.unavailable(Failure::engineUnavailable(core->initError()));
        return false;
    }
    m_core = std::move(core);
    MpvCore *c = m_core.get();
    connect(c, &MpvCore::commandReplied, this, &PlaybackController::onCommandReplied);
    connect(c, &MpvCore::fileStarted, this, &PlaybackController::onFileStarted);
    connect(c, &MpvCore::fileLoaded, this, &PlaybackController::onFileLoaded);
    connect(c, &MpvCore::fileEnded, this, &PlaybackController::onFileEnded);
    connect(c, &MpvCore::playbackRestarted, this, [this] {
        if (m_loaded && !m_paused)
            m_status.playing();
    });
    connect(c, &MpvCore::propertyChanged, this, &PlaybackController::onPropertyChanged);
    connect(c, &MpvCore::logMessage, this, &PlaybackController::onLogMessage);
    connect(c, &MpvCore::eventsDrained, this, &PlaybackController::onEventsDrained);
    c->observe("pause", MPV_FORMAT_FLAG);
    c->observe("paused-for-cache", MPV_FORMAT_FLAG);
    c->observe("cache-buffering-state", MPV_FORMAT_INT64);
    c->observe("metadata", MPV_FORMAT_NODE);
    c->observe("seekable", MPV_FORMAT_FLAG);
    c->observe("track-list", MPV_FORMAT_NODE);
    c->setProperty("volume", m_volume);
    c->setProperty("mute", m_mute);
    applyVideoSelection();
    Q_EMIT engineReady();
    return true;
}

void PlaybackController::prepareEngine()
{
    if (m_core || m_engineFailed || m_preparing)
        return;
    if (MpvLibrary::isLoaded()) {
        ensureEngine();
        return;
    }
    m_preparing = true;
    connect(
        MpvLibrary::instance(), &MpvLibrary::loaded, this,
        [this] {
            m_preparing = false;
            ensureEngine(); // reports the failure if the library did not load
            if (std::exchange(m_openWhenReady, false) && m_core)
                open(m_address);
        },
        Qt::SingleShotConnection);
    MpvLibrary::loadInBackground();
}

void PlaybackController::open(const QString &address)
{
    m_reconnectTimer.stop();
    m_reconnect.reset();
    m_reconnecting = false;
    m_address = address;
    // List files keep their fields untrimmed; blanks around an address are
    // never part of it.
    m_target = address.trimmed();
    if (m_target.isEmpty()) {
        stop();
        return;
    }
    if (m_preparing && !m_core) {
        m_openWhenReady = true;
        m_status.connecting();
        return;
    }
    if (!ensureEngine())
        return;
    const AddressPolicy::Verdict verdict = AddressPolicy::classify(m_target);
    if (verdict.kind == AddressPolicy::Kind::Refused) {
        stop();
        qCWarning(lcPlayer).noquote() << QStringLiteral("拒绝打开地址 %1:%2").arg(m_target, verdict.refusal.text());
        m_status.failed(verdict.refusal);
        return;
    }
    ++m_open;
    m_playlistDepth = 0;
    m_sniffed = false;
    m_status.connecting();
    if (verdict.kind == AddressPolicy::Kind::Network && AsxPlaylist::isPlaylistAddress(m_target))
        fetchPlaylist(m_target);
    else
        load(m_target);
}

void PlaybackController::fetchPlaylist(const QString &address)
{
    m_openTimer.stop();
    // Whatever played goes now, as with any new address.
    m_requestAnswered = false;
    ++m_request;
    m_loaded = false;
    m_core->command({QStringLiteral("stop")});
    m_fetcher.fetch(address, m_open);
}

void PlaybackController::onPlaylistFetched(quint64 tag, const QByteArray &content, const QString &finalAddress)
{
    if (tag != m_open)
        return;
    if (content.isEmpty()) {
        m_status.failed(Failure(m_sniffed ? Failure::Kind::Timeout : Failure::Kind::NoData));
        return;
    }
    if (!AsxPlaylist::looksLikePlaylist(content)) {
        m_status.failed(Failure(m_sniffed ? Failure::Kind::UnsupportedFormat : Failure::Kind::NotAPlaylist));
        return;
    }
    // A playlist from the network may only lead to other network streams.
    for (const QString &ref : AsxPlaylist::references(content, finalAddress)) {
        if (!AddressPolicy::isNetwork(ref))
            continue;
        m_target = ref;
        if (AsxPlaylist::isPlaylistAddress(ref)) {
            if (++m_playlistDepth > kMaxPlaylistDepth) {
                m_status.failed(Failure(Failure::Kind::NestedPlaylist));
                return;
            }
            fetchPlaylist(ref);
        } else {
            load(ref);
        }
        return;
    }
    m_status.failed(Failure(Failure::Kind::EmptyPlaylist));
}

void PlaybackController::load(const QString &address)
{
    m_errors.clear();
    m_loaded = false;
    m_seekable = false;
    m_requestAnswered = false;
    m_openTimer.start();
    m_sinceOpen.start();
    m_entryId = -1;
    if (m_paused)
        m_core->setProperty("pause", false);
    m_core->command({QStringLiteral("loadfile"), address, QStringLiteral("replace")}, ++m_request);
}

void PlaybackController::onOpenTimedOut()
{
    if (m_loaded || !m_core)
        return;
    // Whatever the engine says of this entry from now on is stale.
    m_requestAnswered = false;
    ++m_request;
    m_core->command({QStringLiteral("stop")});
    if (m_reconnecting) {
        scheduleReconnect(MPV_ERROR_LOADING_FAILED);
        return;
    }
    m_status.failed(m_errors.isEmpty() ? FailureReason::describe({}, MPV_ERROR_UNKNOWN_FORMAT)
                                       : FailureReason::describe(m_errors, MPV_ERROR_LOADING_FAILED));
}

void PlaybackController::stop()
{
    ++m_open;
    m_openTimer.stop();
    m_pendingEnd.reset();
    m_fetcher.cancel();
    m_reconnectTimer.stop();
    m_reconnecting = false;
    m_openWhenReady = false;
    m_requestAnswered = false; // whatever the engine says of the old entry now is stale
    ++m_request;
    if (m_core)
        m_core->command({QStringLiteral("stop")});
    m_loaded = false;
    if (m_status.state() != PlaybackStatus::State::Unavailable)
        m_status.stopped();
}

void PlaybackController::togglePause()
{
    if (!m_core)
        return;
    if (m_loaded) {
        m_core->setProperty("pause", !m_paused);
    } else if (!m_address.isEmpty() && !m_reconnectTimer.isActive()
               && m_status.state() != PlaybackStatus::State::Connecting) {
        open(m_address);
    }
}

void PlaybackController::setVolume(int volume)
{
    volume = qBound(0, volume, 100);
    if (volume == m_volume)
        return;
    m_volume = volume;
    if (m_core)
        m_core->setProperty("volume", volume);
    Q_EMIT volumeChanged(volume);
}

void PlaybackController::setMute(bool mute)
{
    if (mute == m_mute)
        return;
    m_mute = mute;
    if (m_core)
        m_core->setProperty("mute", mute);
    Q_EMIT muteChanged(mute);
}

void PlaybackController::setVideoOutputAvailable(bool available)
{
    if (available == m_videoOutput)
        return;
    m_videoOutput = available;
    applyVideoSelection();
}

void PlaybackController::applyVideoSelection()
{
    if (!m_core)
        return;
    // Switching a track while a file plays takes a track id; before a file
    // plays the option decides for the next one.
    if (!m_videoOutput)
        m_core->setProperty("vid", QStringLiteral("no"));
    else
        m_core->setProperty("vid", m_loaded ? QStringLiteral("1") : QStringLiteral("auto"));
}

void PlaybackController::onCommandReplied(quint64 tag, int mpvError, const QVariant &result)
{
    if (tag != m_request)
        return;
    m_requestAnswered = true;
    m_entryId = result.toMap().value(QStringLiteral("playlist_entry_id"), -1).toLongLong();
    if (mpvError < 0) {
        m_status.failed(FailureReason::describe(m_errors, mpvError));
    }
}

void PlaybackController::onFileStarted(qint64 entryId)
{
    // An engine that does not name the entry in its loadfile reply: the first
    // file that starts after the reply is the one asked for.
    if (m_requestAnswered && m_entryId < 0)
        m_entryId = entryId;
}

void PlaybackController::onFileLoaded()
{
    if (!m_requestAnswered)
        return;
    m_loaded = true;
    m_openTimer.stop();
    m_sinceLoaded.start();
    if (m_videoOutput)
        applyVideoSelection();
    m_status.buffering(0);
}

void PlaybackController::onFileEnded(qint64 entryId, MpvCore::EndReason reason, int mpvError)
{
    if (!isCurrent(entryId))
        return;
    if (reason == MpvCore::EndReason::Redirect) {
        // A playlist that libmpv read itself: the entry it leads to starts
        // next, unless playlists keep leading to playlists (or to themselves).
        if (++m_playlistDepth > kMaxPlaylistDepth) {
            m_requestAnswered = false;
            ++m_request;
            m_openTimer.stop();
            m_core->command({QStringLiteral("stop")});
            m_status.failed(Failure(Failure::Kind::NestedPlaylist));
            return;
        }
        m_entryId = -1;
        return;
    }
    m_openTimer.stop();
    // libmpv hands out what it logged on the way to this end after the event
    // itself; the reason is decided once every pending event has been read.
    m_pendingEnd = PendingEnd{reason, mpvError, m_loaded};
    m_loaded = false;
    m_requestAnswered = false;
}

void PlaybackController::onEventsDrained()
{
    if (!m_pendingEnd)
        return;
    const PendingEnd end = *m_pendingEnd;
    m_pendingEnd.reset();
    finishEnd(end.reason, end.mpvError, end.wasLoaded);
}

void PlaybackController::finishEnd(MpvCore::EndReason reason, int mpvError, bool wasLoaded)
{
    m_loaded = false;
    if (m_paused) {
        m_paused = false;
        Q_EMIT pausedChanged(false);
    }
    switch (reason) {
    case MpvCore::EndReason::Redirect:
    case MpvCore::EndReason::Stop:
    case MpvCore::EndReason::Quit:
        return;
    case MpvCore::EndReason::Eof:
    case MpvCore::EndReason::Error:
        break;
    }
    // An address that libmpv cannot read may be a Windows Media playlist
    // served without its extension: look once.
    const bool network = AddressPolicy::isNetwork(m_target);
    if (!wasLoaded && !m_reconnecting && network && !m_sniffed && mpvError == MPV_ERROR_UNKNOWN_FORMAT
        && m_target.startsWith(QLatin1String("http"), Qt::CaseInsensitive)) {
        m_sniffed = true;
        fetchPlaylist(m_target);
        return;
    }
    // A live network stream cannot be seeked; when it ends it has dropped.
    const bool live = network && !m_seekable;
    if (live && (wasLoaded || m_reconnecting)) {
        scheduleReconnect(mpvError);
        return;
    }
    if (reason == MpvCore::EndReason::Error || !wasLoaded)
        m_status.failed(describeFailure(mpvError));
    else
        m_status.ended();
}

Failure PlaybackController::describeFailure(int mpvError) const
{
    // libmpv says nothing more than "failed to open" when the network
    // timeout ran out; how long it took tells.
    const bool timedOut = m_sinceOpen.isValid()
                          && m_sinceOpen.elapsed() >= qint64(m_options.networkTimeoutSeconds * 900);
    const Failure failure = FailureReason::describe(m_errors, mpvError);
    if (timedOut && failure.kind() == Failure::Kind::CannotOpen)
        return Failure(Failure::Kind::Timeout);
    return failure;
}

void PlaybackController::scheduleReconnect(int mpvError)
{
    const qint64 played = m_sinceLoaded.isValid() && !m_reconnecting ? m_sinceLoaded.elapsed() : 0;
    const qint64 playedSinceReconnect = m_sinceLoaded.isValid() ? m_sinceLoaded.elapsed() : 0;
    const int delay = m_reconnect.nextDelayMs(m_reconnecting ? playedSinceReconnect : played);
    m_sinceLoaded.invalidate();
    if (delay < 0) {
        m_reconnecting = false;
        m_status.failed(Failure::droppedFor(describeFailure(mpvError)));
        return;
    }
    m_reconnecting = true;
    m_status.reconnecting(m_reconnect.attempt(), delay);
    m_reconnectTimer.start(delay);
}

void PlaybackController::onPropertyChanged(const QString &name, const QVariant &value)
{
    if (name == QLatin1String("pause")) {
        const bool paused = value.toBool();
        if (paused == m_paused)
            return;
        m_paused = paused;
        Q_EMIT pausedChanged(paused);
        if (m_loaded)
            paused ? m_status.paused() : m_status.playing();
    } else if (name == QLatin1String("paused-for-cache")) {
        if (!m_loaded || m_paused)
            return;
        if (value.toBool())
            m_status.buffering(0);
        else
            m_status.playing();
    } else if (name == QLatin1String("cache-buffering-state")) {
        if (m_loaded && m_status.state() == PlaybackStatus::State::Buffering)
            m_status.buffering(value.toInt());
    } else if (name == QLatin1String("metadata")) {
        const QVariantMap tags = value.toMap();
        QString title;
        for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
            const QString key = it.key().toLower();
            if (key == QLatin1String("icy-title") || (key == QLatin1String("title") && title.isEmpty()))
                title = it.value().toString().trimmed();
        }
        m_status.setTitle(title);
    } else if (name == QLatin1String("seekable")) {
        m_seekable = value.toBool();
    } else if (name == QLatin1String("track-list")) {
        bool video = false;
        for (const QVariant &track : value.toList()) {
            const QVariantMap t = track.toMap();
            if (t.value(QStringLiteral("type")).toString() == QLatin1String("video")
                && !t.value(QStringLiteral("albumart")).toBool())
                video = true;
        }
        if (video != m_hasVideo) {
            m_hasVideo = video;
            Q_EMIT hasVideoChanged(video);
        }
    }
}

void PlaybackController::onLogMessage(const QString &prefix, const QString &level, const QString &text)
{
    Q_UNUSED(level);
    if (m_errors.size() >= kMaxLoggedErrors)
        m_errors.removeFirst();
    m_errors.append(prefix + QLatin1String(": ") + text);
}
