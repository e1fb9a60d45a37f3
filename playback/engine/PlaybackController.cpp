#include "PlaybackController.h"

#include "AddressPolicy.h"
#include "MpvLibrary.h"
#include "PlayerLog.h"
#include "StreamProperties.h"

namespace {

// Past the network timeout, so that a silent server fails as timed out
// before a babbling one is given up as unreadable.
constexpr int kOpenGraceMs = 3000;

using State = PlayerState::State;

}

PlaybackController::PlaybackController(const MpvCore::Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_resolver(static_cast<int>(options.networkTimeoutSeconds * 1000))
    , m_diagnosis(options.networkTimeoutSeconds)
    , m_reconnector(static_cast<int>(options.networkTimeoutSeconds * 1000) + kOpenGraceMs)
{
    connect(&m_resolver, &PlaylistResolver::fetching, this, [this] {
        // Whatever played goes now, as with any new address.
        m_reconnector.stopWatching();
        stopEngine();
        m_state.fetchingPlaylist();
    });
    connect(&m_resolver, &PlaylistResolver::resolved, this, [this](const QString &address) {
        m_target = address;
        m_state.opening();
        load(address);
    });
    connect(&m_resolver, &PlaylistResolver::failed, &m_state, &PlayerState::failed);
    connect(&m_resolver, &PlaylistResolver::nothingFound, this,
            [this] { m_state.failed(m_diagnosis.fromLog(MPV_ERROR_UNKNOWN_FORMAT)); });
    connect(&m_reconnector, &Reconnector::openTimedOut, this, &PlaybackController::onOpenTimedOut);
    connect(&m_reconnector, &Reconnector::retry, this, [this](int attempt) {
        m_state.reconnecting(attempt, 0);
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
    connect(c, &MpvCore::fileStarted, this, [this](qint64 entryId) { m_request.started(entryId); });
    connect(c, &MpvCore::fileLoaded, this, &PlaybackController::onFileLoaded);
    connect(c, &MpvCore::fileEnded, this, &PlaybackController::onFileEnded);
    connect(c, &MpvCore::playbackRestarted, this, [this] {
        if (streamOpen())
            m_state.playing();
    });
    connect(c, &MpvCore::propertyChanged, this, &PlaybackController::onPropertyChanged);
    connect(c, &MpvCore::logMessage, this,
            [this](const QString &prefix, const QString &, const QString &text) { m_diagnosis.logged(prefix, text); });
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
    m_reconnector.reset();
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
    m_state.opening();
    if (!m_resolver.resolve(m_target))
        load(m_target);
}

void PlaybackController::stopEngine()
{
    m_request.forget();
    m_core->command({QStringLiteral("stop")});
}

void PlaybackController::load(const QString &address)
{
    m_diagnosis.opened();
    m_state.setSeekable(false);
    m_reconnector.watchOpen();
    // libmpv ends what it played before it starts anything new, and ending a
    // network stream waits on the network; a spare engine starts at once,
    // while the old one is silenced and ended elsewhere.
    if (m_core->hasLoaded())
        m_core->switchToSpare();
    // A new stream never starts paused.
    m_core->setProperty("pause", false);
    const quint64 tag = m_request.next();
    m_core->command({QStringLiteral("loadfile"), address, QStringLiteral("replace")}, tag);
    m_core->prepareSpare();
}

void PlaybackController::onOpenTimedOut()
{
    if (streamOpen() || !m_core)
        return;
    stopEngine();
    if (m_state.state() == State::Reconnecting) {
        scheduleReconnect(m_diagnosis.failure(MPV_ERROR_LOADING_FAILED, m_diagnosis.sinceOpenMs()));
        return;
    }
    m_state.failed(m_diagnosis.openTimedOut());
}

void PlaybackController::stop()
{
    m_resolver.cancel();
    m_reconnector.stopWatching();
    m_reconnector.cancel();
    m_diagnosis.drop();
    m_request.forget();
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
    } else if (!m_now.isEmpty() && !m_reconnector.waiting() && state != State::Opening
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
    if (!m_request.answer(tag, result))
        return;
    if (mpvError < 0)
        m_state.failed(m_diagnosis.fromLog(mpvError));
}

void PlaybackController::onFileLoaded()
{
    if (!m_request.answered())
        return;
    m_reconnector.loaded();
    m_state.opened();
    if (m_videoOutput)
        applyVideoSelection();
}

void PlaybackController::onFileEnded(qint64 entryId, MpvCore::EndReason reason, int mpvError)
{
    if (!m_request.isCurrent(entryId))
        return;
    if (reason == MpvCore::EndReason::Redirect) {
        // A playlist that libmpv read itself: the entry it leads to starts
        // next, unless playlists keep leading to playlists (or to themselves).
        if (!m_resolver.descend()) {
            stopEngine();
            m_reconnector.stopWatching();
            m_state.failed(Failure(Failure::Kind::NestedPlaylist));
            return;
        }
        m_request.redirected();
        return;
    }
    m_reconnector.stopWatching();
    // libmpv hands out what it logged on the way to this end after the event
    // itself; the reason is decided once every pending event has been read.
    m_diagnosis.hold({ reason, mpvError, streamOpen() });
    m_request.ended();
}

void PlaybackController::onEventsDrained()
{
    if (const auto end = m_diagnosis.take())
        finishEnd(*end);
}

void PlaybackController::finishEnd(const EndDiagnosis::End &end)
{
    const EndDiagnosis::Stream stream { m_target, m_state.isSeekable(), m_state.state() == State::Reconnecting,
                                        m_resolver.sniffed() };
    const EndDiagnosis::Verdict verdict = m_diagnosis.judge(end, stream, m_diagnosis.sinceOpenMs());
    switch (verdict.outcome) {
    case EndDiagnosis::Outcome::Nothing:
        break;
    case EndDiagnosis::Outcome::LookForPlaylist:
        m_resolver.sniff(m_target);
        break;
    case EndDiagnosis::Outcome::Reconnect:
        scheduleReconnect(verdict.failure);
        break;
    case EndDiagnosis::Outcome::Failed:
        m_state.failed(verdict.failure);
        break;
    case EndDiagnosis::Outcome::Ended:
        m_state.ended();
        break;
    }
}

void PlaybackController::scheduleReconnect(const Failure &cause)
{
    const int delay = m_reconnector.dropped();
    if (delay < 0) {
        m_state.failed(Failure::droppedFor(cause));
        return;
    }
    m_state.reconnecting(m_reconnector.attempt(), delay);
    if (m_state.state() == State::Reconnecting)
        m_reconnector.retryAfter(delay);
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
        m_state.setTitle(StreamProperties::title(value.toMap()));
    } else if (name == QLatin1String("seekable")) {
        m_state.setSeekable(value.toBool());
    } else if (name == QLatin1String("track-list")) {
        m_state.setHasVideo(StreamProperties::hasVideo(value.toList()));
    }
}
