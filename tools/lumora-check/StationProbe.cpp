#include "StationProbe.h"

#include <algorithm>

#include <QMetaObject>

#include "FailureKind.h"
#include "PlayerState.h"

using State = PlayerState::State;

MpvCore::Options StationProbe::engineOptions(double timeoutSeconds)
{
    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    engine.networkTimeoutSeconds = timeoutSeconds + std::max(1.0, timeoutSeconds / 10);
    return engine;
}

StationProbe::StationProbe(const MpvCore::Options &engine, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_controller(engine)
    , m_timeoutMs(timeoutMs)
{
    m_deadline.setTimerType(Qt::PreciseTimer);
    m_deadline.setSingleShot(true);
    m_settle.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &StationProbe::onDeadline);
    connect(&m_settle, &QTimer::timeout, this, &StationProbe::succeed);

    auto evaluateUnlessOpening = [this] {
        if (!m_opening) {
            evaluate();
        }
    };
    connect(&m_controller.state(), &PlayerState::stateChanged, this, evaluateUnlessOpening);
    connect(&m_controller.state(), &PlayerState::titleChanged, this, evaluateUnlessOpening);
}

void StationProbe::prepare()
{
    if (m_observing || !m_controller.ensureEngine()) {
        return;
    }
    m_observing = true;
    MpvCore *core = m_controller.core();
    connect(core, &MpvCore::fileStarted, this, [this] { m_fileStarted = true; });
    connect(core, &MpvCore::propertyChanged, this, &StationProbe::onPropertyChanged);
    core->observe("audio-codec-name", MPV_FORMAT_STRING);
    core->observe("audio-bitrate", MPV_FORMAT_DOUBLE);
}

void StationProbe::start(const QString &address)
{
    m_busy = true;
    m_address = address;
    m_result = ProbeResult{};
    m_fileStarted = false;
    // Making the engine does not count against the address's time.
    prepare();
    m_clock.start();
    m_deadline.start(m_timeoutMs);
    // The controller may decide at once (a refused address, no engine); the
    // states it passes through on the way are not the answer.
    m_opening = true;
    m_controller.open(address);
    m_opening = false;
    evaluate();
}

void StationProbe::evaluate()
{
    if (!m_busy) {
        return;
    }
    const PlayerState &status = m_controller.state();
    const bool playing = m_result.firstAudioMs >= 0;
    switch (status.state()) {
    case State::Playing:
        if (!playing) {
            m_result.firstAudioMs = m_clock.elapsed();
            m_settle.start(std::max(0, std::min<int>(kSettleMs, m_deadline.remainingTime())));
        }
        break;
    case State::Failed:
    case State::Unavailable:
        fail(status.failure());
        return;
    case State::Stopped:
        // Only an empty address stops a try that has just been opened.
        fail(Failure(Failure::Kind::NoAddress));
        return;
    case State::Ended:
        if (playing) {
            succeed();
        } else {
            fail(Failure(Failure::Kind::NothingToPlay));
        }
        return;
    case State::Reconnecting:
        // A stream that drops after it played is still a station that plays;
        // one that drops before any audio is not.
        if (playing) {
            succeed();
        } else {
            fail(Failure(Failure::Kind::Dropped));
        }
        return;
    case State::NoEngine:
    case State::LoadingEngine:
    case State::Idle:
    case State::Opening:
    case State::FetchingPlaylist:
    case State::Buffering:
    case State::Paused:
        break;
    }
    if (m_result.firstAudioMs >= 0 && !m_result.codec.isEmpty() && m_result.bitrate > 0
        && !status.title().isEmpty()) {
        succeed();
    }
}

void StationProbe::onPropertyChanged(const QString &name, const QVariant &value)
{
    // What the engine says before this try's file started belongs to the one before.
    if (!m_busy || !m_fileStarted) {
        return;
    }
    if (name == QLatin1String("audio-codec-name")) {
        const QString codec = value.toString();
        if (!codec.isEmpty()) {
            m_result.codec = codec;
        }
    } else if (name == QLatin1String("audio-bitrate")) {
        const double bitrate = value.toDouble();
        if (bitrate > 0) {
            m_result.bitrate = qRound64(bitrate);
        }
    } else {
        return;
    }
    evaluate();
}

void StationProbe::onDeadline()
{
    if (!m_busy) {
        return;
    }
    if (m_result.firstAudioMs >= 0) {
        succeed();
        return;
    }
    // Connected and loaded, but no audio decoded in time: say so, rather
    // than blame the connection.
    const double seconds = m_timeoutMs / 1000.0;
    if (m_controller.state().state() == State::Buffering) {
        fail(Failure::Kind::Timeout, QStringLiteral("超时：已连接，%1 秒内没有解码出声音").arg(seconds));
    } else {
        fail(Failure::Kind::Timeout, QStringLiteral("超时：%1 秒内没有开始播放").arg(seconds));
    }
}

void StationProbe::succeed()
{
    m_result.plays = true;
    m_result.title = m_controller.state().title();
    finish();
}

void StationProbe::fail(const Failure &failure)
{
    fail(failure.kind(), failure.text());
}

void StationProbe::fail(Failure::Kind kind, const QString &reason)
{
    m_result.plays = false;
    m_result.reason = reason;
    m_result.kind = FailureKind::key(kind);
    finish();
}

void StationProbe::finish()
{
    m_busy = false;
    m_deadline.stop();
    m_settle.stop();
    m_result.elapsedMs = m_clock.elapsed();
    // Frees the connection now; the next try replaces whatever is left.
    m_controller.stop();
    // Answered from the event loop, so that the next try is never started
    // from inside the controller's own signal.
    QMetaObject::invokeMethod(this, [this, result = m_result] { Q_EMIT finished(result); }, Qt::QueuedConnection);
}
