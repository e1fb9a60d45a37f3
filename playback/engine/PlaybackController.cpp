#include "PlaybackController.h"

#include <QUrl>

#include "AddressPolicy.h"
#include "AsxPlaylist.h"
#include "FailureReason.h"
#include "MpvLibrary.h"
#include "PlayerLog.h"
#include "StreamText.h"

namespace {

constexpr int kMaxLoggedErrors = 20;
// A playlist may point at another playlist, but not without end.
constexpr int kMaxPlaylistDepth = 3;
// Past the network timeout, so that a silent server fails as timed out
// before a babbling one is given up as unreadable.
constexpr int kOpenGraceMs = 3000;

using State = PlayerState::State;

// A title as MpvNode gives it: text, or the bytes of text that is not UTF-8.
QString titleText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return StreamText::decode(value.toByteArray());
    return value.toString();
}

}

PlaybackController::PlaybackController(const MpvCore::Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_fetcher(static_cast<int>(options.networkTimeoutSeconds * 1000))
{
    connect(&m_fetcher, &PlaylistFetcher::fetched, this, &PlaybackController::onPlaylistFetched);
    connect(&m_fetcher, &PlaylistFetcher::failed, this, &PlaybackController::onPlaylistFailed);
    // A server that sends bytes that never become sound: libmpv would go on
    // probing; the player gives up after the network timeout.
    m_openTimer.setSingleShot(true);
    m_openTimer.setInterval(static_cast<int>(options.networkTimeoutSeconds * 1000) + kOpenGraceMs);
    connect(&m_openTimer, &QTimer::timeout, this, &PlaybackController::onOpenTimedOut);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, [this] {
        m_state.reconnecting(m_reconnect.attempt(), 0);
        // The state turns the attempt away once the user has moved on.
        if (m_state.state() == State::Reconnecting)
            load(m_target);
    });
}

PlaybackController::~PlaybackController() = default;

bool PlaybackController::ensureEngine()
{
    if (m_core)
        return true;
    if (m_state.state() == State::Unavailable)
        return false;
    auto core = std::make_unique<MpvCore>(m_options);
    if (!core->isValid()) {
        qCCritical(lcPlayer) << "播放器不可用:" << core->initError();
        m_state.engineUnavailable(Failure::engineUnavailable(core->initError()));
        return false;
    }
    m_core = std::move(core);
    MpvCore *c = m_core.get();
    connect(c, &MpvCore::commandReplied, this, &PlaybackController::onCommandReplied);
    connect(c, &MpvCore::fileStarted, this, &PlaybackController::onFileStarted);
    connect(c, &MpvCore::fileLoaded, this, &PlaybackController::onFileLoaded);
    connect(c, &MpvCore::fileEnded, this, &PlaybackController::onFileEnded);
    connect(c, &MpvCore::playbackRestarted, this, [this] {
        if (streamOpen())
            m_state.playing();
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
    m_liveBuffer.attach(c);
    c->setProperty("volume", engineVolume());
    c->setProperty("mute", m_state.mute());
    applyVideoSelection();
    m_state.engineReady();
    Q_EMIT engineReady();
    return true;
}

void PlaybackController::prepareEngine()
{
    if (m_core || m_state.state() == State::Unavailable || m_whenLibraryLoaded)
        return;
    if (MpvLibrary::isLoaded()) {
        ensureEngine();
        return;
    }
    m_state.loadingEngine();
    m_whenLibraryLoaded = connect(
        MpvLibrary::instance(), &MpvLibrary::loaded, this,
        [this] {
            m_whenLibraryLoaded = {};
            ensureEngine(); // reports the failure if the library did not load
            // An address chosen meanwhile waited for the engine.
            if (m_core && m_state.state() == State::Opening)
                start();
        },
        Qt::SingleShotConnection);
    MpvLibrary::loadInBackground();
}

void PlaybackController::open(const NowPlaying &entry)
{
    m_now = entry;
    Q_EMIT nowPlayingChanged(m_now);
    start();
}

void PlaybackController::start()
{
    m_reconnectTimer.stop();
    m_reconnect.reset();
    // List files keep their fields untrimmed; blanks around an address are
    // never part of it.
    m_target = m_now.address.trimmed();
    if (m_target.isEmpty()) {
        stop();
        return;
    }
    if (!m_core && m_whenLibraryLoaded) {
        m_state.opening();
        return;
    }
    if (!ensureEngine())
        return;
    const AddressPolicy::Verdict verdict = AddressPolicy::classify(m_target);
    if (verdict.kind == AddressPolicy::Kind::Refused) {
        stop();
        qCWarning(lcPlayer).noquote() << QStringLiteral("拒绝打开地址 %1:%2").arg(m_target, verdict.refusal.text());
        m_state.failed(verdict.refusal);
        return;
    }
    ++m_open;
    m_playlistDepth = 0;
    m_sniffed = false;
    m_state.opening();
    if (verdict.kind == AddressPolicy::Kind::Network && AsxPlaylist::isPlaylistAddress(m_target))
        fetchPlaylist(m_target);
    else
        load(m_target);
}

void PlaybackController::forgetRequest()
{
    // Whatever the engine says of the entry asked for last is stale now.
    m_requestAnswered = false;
    ++m_request;
}

void PlaybackController::fetchPlaylist(const QString &address)
{
    m_openTimer.stop();
    // Whatever played goes now, as with any new address.
    forgetRequest();
    m_core->command({QStringLiteral("stop")});
    m_state.fetchingPlaylist();
    m_fetcher.fetch(address, m_open);
}

void PlaybackController::onPlaylistFetched(quint64 tag, const QByteArray &content, const QString &finalAddress)
{
    if (tag != m_open)
        return;
    using Kind = Failure::Kind;
    if (content.isEmpty()) {
        m_state.failed(Failure(m_sniffed ? Kind::Timeout : Kind::NoData));
        return;
    }
    if (!AsxPlaylist::looksLikePlaylist(content)) {
        m_state.failed(Failure(m_sniffed ? Kind::UnsupportedFormat : Kind::NotAPlaylist));
        return;
    }
    // A playlist from the network may only lead to other network streams.
    for (const QString &ref : AsxPlaylist::references(content, finalAddress)) {
        if (!AddressPolicy::isNetwork(ref))
            continue;
        m_target = ref;
        if (AsxPlaylist::isPlaylistAddress(ref)) {
            if (++m_playlistDepth > kMaxPlaylistDepth) {
                m_state.failed(Failure(Kind::NestedPlaylist));
                return;
            }
            fetchPlaylist(ref);
        } else {
            m_state.opening();
            load(ref);
        }
        return;
    }
    m_state.failed(Failure(Kind::EmptyPlaylist));
}

void PlaybackController::onPlaylistFailed(quint64 tag, const Failure &failure)
{
    if (tag != m_open)
        return;
    // A second look that fails tells nothing new, unless the server sent
    // nothing at all: libmpv's reason stands.
    const bool silent = failure.kind() == Failure::Kind::Timeout;
    m_state.failed(m_sniffed && !silent ? FailureReason::describe(m_errors, MPV_ERROR_UNKNOWN_FORMAT) : failure);
}

void PlaybackController::load(const QString &address)
{
    m_errors.clear();
    m_seekable = false;
    m_requestAnswered = false;
    m_openTimer.start();
    m_sinceOpen.start();
    m_entryId = -1;
    // libmpv ends what it played before it starts anything new, and ending a
    // network stream waits on the network; a spare engine starts at once,
    // while the old one is silenced and ended elsewhere.
    if (m_core->hasLoaded())
        m_core->switchToSpare();
    // A new stream never starts paused.
    m_core->setProperty("pause", false);
    m_core->command({QStringLiteral("loadfile"), address, QStringLiteral("replace")}, ++m_request);
    m_core->prepareSpare();
}

void PlaybackController::onOpenTimedOut()
{
    if (streamOpen() || !m_core)
        return;
    forgetRequest();
    m_core->command({QStringLiteral("stop")});
    if (m_state.state() == State::Reconnecting) {
        scheduleReconnect(MPV_ERROR_LOADING_FAILED);
        return;
    }
    m_state.failed(m_errors.isEmpty() ? FailureReason::describe({}, MPV_ERROR_UNKNOWN_FORMAT)
                                      : FailureReason::describe(m_errors, MPV_ERROR_LOADING_FAILED));
}

void PlaybackController::stop()
{
    ++m_open;
    m_openTimer.stop();
    m_pendingEnd.reset();
    m_fetcher.cancel();
    m_reconnectTimer.stop();
    forgetRequest();
    if (m_core)
        m_core->command({QStringLiteral("stop")});
    m_state.stopped();
}

void PlaybackController::play()
{
    if (!m_core)
        return;
    const State state = m_state.state();
    if (streamOpen()) {
        if (state == State::Paused)
            m_core->setProperty("pause", false);
    } else if (!m_now.isEmpty() && !m_reconnectTimer.isActive() && state != State::Opening
               && state != State::FetchingPlaylist) {
        start();
    }
}

void PlaybackController::pause()
{
    if (m_core && streamOpen() && m_state.isPlaying())
        m_core->setProperty("pause", true);
}

void PlaybackController::togglePause()
{
    if (m_state.isPlaying())
        pause();
    else
        play();
}

void PlaybackController::goLive()
{
    if (streamOpen())
        m_liveBuffer.goLive();
}

void PlaybackController::setVolume(int volume)
{
    const int before = m_state.volume();
    m_state.setVolume(volume);
    if (m_core && m_state.volume() != before)
        m_core->setProperty("volume", engineVolume());
}

void PlaybackController::setVolumeFactor(double factor)
{
    factor = qBound(0.0, factor, 1.0);
    if (factor == m_volumeFactor)
        return;
    m_volumeFactor = factor;
    if (m_core)
        m_core->setProperty("volume", engineVolume());
}

double PlaybackController::engineVolume() const
{
    return m_state.volume() * m_volumeFactor;
}

void PlaybackController::setMute(bool mute)
{
    if (mute == m_state.mute())
        return;
    m_state.setMute(mute);
    if (m_core)
        m_core->setProperty("mute", mute);
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
        m_core->setProperty("vid", streamOpen() ? QStringLiteral("1") : QStringLiteral("auto"));
}

void PlaybackController::onCommandReplied(quint64 tag, int mpvError, const QVariant &result)
{
    if (tag != m_request)
        return;
    m_requestAnswered = true;
    m_entryId = result.toMap().value(QStringLiteral("playlist_entry_id"), -1).toLongLong();
    if (mpvError < 0) {
        m_state.failed(FailureReason::describe(m_errors, mpvError));
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
    m_openTimer.stop();
    m_sinceLoaded.start();
    m_state.opened();
    if (m_videoOutput)
        applyVideoSelection();
}

void PlaybackController::onFileEnded(qint64 entryId, MpvCore::EndReason reason, int mpvError)
{
    if (!isCurrent(entryId))
        return;
    if (reason == MpvCore::EndReason::Redirect) {
        // A playlist that libmpv read itself: the entry it leads to starts
        // next, unless playlists keep leading to playlists (or to themselves).
        if (++m_playlistDepth > kMaxPlaylistDepth) {
            forgetRequest();
            m_openTimer.stop();
            m_core->command({QStringLiteral("stop")});
            m_state.failed(Failure(Failure::Kind::NestedPlaylist));
            return;
        }
        m_entryId = -1;
        return;
    }
    m_openTimer.stop();
    // libmpv hands out what it logged on the way to this end after the event
    // itself; the reason is decided once every pending event has been read.
    const bool wasOpen = streamOpen();
    m_pendingEnd = PendingEnd{reason, mpvError, wasOpen};
    m_requestAnswered = false;
}

void PlaybackController::onEventsDrained()
{
    if (!m_pendingEnd)
        return;
    const PendingEnd end = *m_pendingEnd;
    m_pendingEnd.reset();
    finishEnd(end.reason, end.mpvError, end.wasOpen);
}

void PlaybackController::finishEnd(MpvCore::EndReason reason, int mpvError, bool wasOpen)
{
    switch (reason) {
    case MpvCore::EndReason::Redirect:
    case MpvCore::EndReason::Stop:
    case MpvCore::EndReason::Quit:
        return;
    case MpvCore::EndReason::Eof:
    case MpvCore::EndReason::Error:
        break;
    }
    const bool reconnecting = m_state.state() == State::Reconnecting;
    // An address that libmpv cannot read may be a Windows Media playlist
    // served without its extension: look once.
    const bool network = AddressPolicy::isNetwork(m_target);
    if (!wasOpen && !reconnecting && network && !m_sniffed && mpvError == MPV_ERROR_UNKNOWN_FORMAT
        && m_target.startsWith(QLatin1String("http"), Qt::CaseInsensitive)) {
        m_sniffed = true;
        fetchPlaylist(m_target);
        return;
    }
    // A live network stream cannot be seeked; when it ends it has dropped.
    const bool live = network && !m_seekable;
    if (live && (wasOpen || reconnecting)) {
        scheduleReconnect(mpvError);
        return;
    }
    if (reason == MpvCore::EndReason::Error || !wasOpen)
        m_state.failed(describeFailure(mpvError));
    else
        m_state.ended();
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
    // How long the stream played since it was last opened.
    const qint64 played = m_sinceLoaded.isValid() ? m_sinceLoaded.elapsed() : 0;
    const int delay = m_reconnect.nextDelayMs(played);
    m_sinceLoaded.invalidate();
    if (delay < 0) {
        m_state.failed(Failure::droppedFor(describeFailure(mpvError)));
        return;
    }
    m_state.reconnecting(m_reconnect.attempt(), delay);
    if (m_state.state() == State::Reconnecting)
        m_reconnectTimer.start(delay);
}

void PlaybackController::onPropertyChanged(const QString &name, const QVariant &value)
{
    if (name == QLatin1String("pause")) {
        if (streamOpen())
            value.toBool() ? m_state.paused() : m_state.resumed();
    } else if (name == QLatin1String("paused-for-cache")) {
        if (streamOpen())
            value.toBool() ? m_state.stalled() : m_state.playing();
    } else if (name == QLatin1String("cache-buffering-state")) {
        if (streamOpen())
            m_state.bufferFilled(value.toInt());
    } else if (name == QLatin1String("metadata")) {
        const QVariantMap tags = value.toMap();
        QString title;
        for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
            const QString key = it.key().toLower();
            if (key == QLatin1String("icy-title") || (key == QLatin1String("title") && title.isEmpty()))
                title = titleText(it.value()).trimmed();
        }
        m_state.setTitle(title);
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
