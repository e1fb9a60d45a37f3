#include "PlayerState.h"

#include <algorithm>

#include <QMetaEnum>

#include "PlayerLog.h"

using namespace Qt::StringLiterals;

PlayerState::PlayerState(QObject *parent)
    : QObject(parent)
{
}

QString PlayerState::text() const
{
    switch (m_state) {
    case State::NoEngine:
    case State::LoadingEngine:
    case State::Idle:
        return u"就绪"_s;
    case State::Opening:
    case State::FetchingPlaylist:
        return u"正在连接…"_s;
    case State::Buffering:
        return u"正在缓冲 %1%"_s.arg(m_percent);
    case State::Playing:
        return m_title.isEmpty() ? u"正在播放"_s : u"正在播放:%1"_s.arg(m_title);
    case State::Paused:
        return u"已暂停"_s;
    case State::Stopped:
        return u"已停止"_s;
    case State::Ended:
        return u"播放完毕"_s;
    case State::Reconnecting:
        if (m_delayMs <= 0)
            return u"正在重新连接(第 %1 次)…"_s.arg(m_attempt);
        return u"连接中断,%1 秒后重新连接(第 %2 次)"_s.arg((m_delayMs + 999) / 1000).arg(m_attempt);
    case State::Failed:
        return u"无法播放:%1"_s.arg(m_failure.text());
    case State::Unavailable:
        return u"播放器不可用:%1"_s.arg(m_failure.text());
    }
    return {};
}

bool PlayerState::in(std::initializer_list<State> states) const
{
    return std::find(states.begin(), states.end(), m_state) != states.end();
}

bool PlayerState::isOpen() const
{
    return in({State::Buffering, State::Playing, State::Paused});
}

bool PlayerState::isActive() const
{
    return in({State::Opening, State::FetchingPlaylist, State::Buffering, State::Playing, State::Reconnecting});
}

bool PlayerState::isPlaying() const
{
    return in({State::Buffering, State::Playing});
}

namespace {

using State = PlayerState::State;
using Event = PlayerState::Event;

constexpr quint32 bit(State state)
{
    return 1u << int(state);
}

template<typename... States>
constexpr quint32 states(States... s)
{
    return (bit(s) | ...);
}

// Every state but the one that ends everything.
constexpr quint32 kAny = ~bit(State::Unavailable);
constexpr quint32 kOpen = states(State::Buffering, State::Playing, State::Paused);
// An address is being worked on, or a stream is open, or one is awaited again.
constexpr quint32 kUnderway = kOpen | states(State::Opening, State::FetchingPlaylist, State::Reconnecting);

// The states each event may come from. What is not here is refused, logged
// with both states, and changes nothing.
constexpr quint32 kFrom[] = {
    /* LoadingEngine */ states(State::NoEngine),
    /* EngineReady */ states(State::NoEngine, State::LoadingEngine),
    /* EngineUnavailable */ kAny,
    /* Opening: a choice may come at any time, also before the engine */ kAny,
    /* FetchingPlaylist: the playlist first, or a playlist inside a playlist */
    states(State::Opening, State::FetchingPlaylist) | kOpen,
    /* Opened */ kUnderway,
    /* Stalled */ states(State::Buffering, State::Playing),
    /* BufferFilled */ states(State::Buffering),
    /* Playing: the buffer is full, or a restart of the stream */ states(State::Buffering, State::Playing),
    /* Paused */ kOpen,
    /* Resumed */ kOpen,
    /* Reconnecting: a stream that dropped, or the next attempt */ kUnderway,
    /* Failed */ kAny,
    /* Stopped */ kAny,
    /* Ended */ kUnderway,
    /* Title: titles come with a stream */ kUnderway | states(State::Idle, State::Stopped, State::Ended, State::Failed),
    /* BehindLive */ kOpen,
};
static_assert(std::size(kFrom) == int(Event::BehindLive) + 1);

// Where an event is no news: it changes nothing and is not worth a line.
// Once the engine could not start, nothing else happens, whatever is asked.
constexpr quint32 kIgnoredIn[] = {
    /* LoadingEngine */ 0,
    /* EngineReady: the engine arrives after a choice already moved on */
    kAny & ~states(State::NoEngine, State::LoadingEngine),
    /* EngineUnavailable */ 0,
    /* Opening */ 0,
    /* FetchingPlaylist */ 0,
    /* Opened */ 0,
    /* Stalled: a paused stream that refills stays paused */ states(State::Paused),
    /* BufferFilled: the engine goes on telling the fill once the buffer is full */
    states(State::Playing, State::Paused),
    /* Playing: a paused stream that restarts stays paused */ states(State::Paused),
    /* Paused */ 0,
    /* Resumed */ 0,
    /* Reconnecting */ 0,
    /* Failed */ 0,
    /* Stopped */ 0,
    /* Ended */ 0,
    /* Title */ 0,
    /* BehindLive: what the engine held comes after the stream was left */ kAny & ~kOpen,
};
static_assert(std::size(kIgnoredIn) == std::size(kFrom));

} // namespace

bool PlayerState::accepts(Event event, State from)
{
    return kFrom[int(event)] & bit(from);
}

template<typename Change>
void PlayerState::update(Event event, Change &&change)
{
    if (!accepts(event, m_state)) {
        if (m_state == State::Unavailable || (kIgnoredIn[int(event)] & bit(m_state)))
            return;
        qCWarning(lcPlayer).noquote() << QStringLiteral("状态 %1 不接受 %2,保持不变")
                                           .arg(QLatin1String(QMetaEnum::fromType<State>().valueToKey(int(m_state))),
                                                QLatin1String(QMetaEnum::fromType<Event>().valueToKey(int(event))));
        return;
    }
    const State state = m_state;
    const QString text = this->text();
    const QString title = m_title;
    const int behind = m_behindLive;
    change();
    // What was held of a stream goes with it.
    if (!isOpen())
        m_behindLive = 0;
    if (m_state != state)
        Q_EMIT stateChanged(m_state);
    if (m_title != title)
        Q_EMIT titleChanged(m_title);
    if (m_behindLive != behind)
        Q_EMIT behindLiveChanged(m_behindLive);
    if (const QString now = this->text(); now != text)
        Q_EMIT textChanged(now);
}

void PlayerState::loadingEngine()
{
    update(Event::LoadingEngine, [this] { m_state = State::LoadingEngine; });
}

void PlayerState::engineReady()
{
    update(Event::EngineReady, [this] { m_state = State::Idle; });
}

void PlayerState::engineUnavailable(const Failure &failure)
{
    update(Event::EngineUnavailable, [this, &failure] {
        m_failure = failure;
        m_state = State::Unavailable;
    });
}

void PlayerState::opening()
{
    update(Event::Opening, [this] {
        m_title.clear();
        m_failure = Failure();
        m_state = State::Opening;
    });
}

void PlayerState::fetchingPlaylist()
{
    update(Event::FetchingPlaylist, [this] { m_state = State::FetchingPlaylist; });
}

void PlayerState::buffering(Event event, int percent)
{
    update(event, [this, percent] {
        m_percent = std::clamp(percent, 0, 100);
        m_state = State::Buffering;
    });
}

void PlayerState::opened()
{
    buffering(Event::Opened, 0);
}

void PlayerState::stalled()
{
    buffering(Event::Stalled, 0);
}

void PlayerState::bufferFilled(int percent)
{
    buffering(Event::BufferFilled, percent);
}

void PlayerState::playing()
{
    update(Event::Playing, [this] { m_state = State::Playing; });
}

void PlayerState::paused()
{
    update(Event::Paused, [this] { m_state = State::Paused; });
}

void PlayerState::resumed()
{
    update(Event::Resumed, [this] { m_state = State::Playing; });
}

void PlayerState::reconnecting(int attempt, int delayMs)
{
    update(Event::Reconnecting, [this, attempt, delayMs] {
        m_attempt = attempt;
        m_delayMs = delayMs;
        m_state = State::Reconnecting;
    });
}

void PlayerState::failed(const Failure &failure)
{
    update(Event::Failed, [this, &failure] {
        m_failure = failure;
        m_state = State::Failed;
    });
}

void PlayerState::stopped()
{
    update(Event::Stopped, [this] {
        m_title.clear();
        m_state = State::Stopped;
    });
}

void PlayerState::ended()
{
    update(Event::Ended, [this] { m_state = State::Ended; });
}

void PlayerState::setTitle(const QString &title)
{
    update(Event::Title, [this, &title] { m_title = title; });
}

void PlayerState::setBehindLive(int seconds)
{
    update(Event::BehindLive, [this, seconds] { m_behindLive = std::max(seconds, 0); });
}

void PlayerState::setHasVideo(bool hasVideo)
{
    if (hasVideo == m_hasVideo)
        return;
    m_hasVideo = hasVideo;
    Q_EMIT hasVideoChanged(hasVideo);
}

void PlayerState::setSeekable(bool seekable)
{
    m_seekable = seekable;
}

void PlayerState::setVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    if (volume == m_volume)
        return;
    m_volume = volume;
    Q_EMIT volumeChanged(volume);
}

void PlayerState::setMute(bool mute)
{
    if (mute == m_mute)
        return;
    m_mute = mute;
    Q_EMIT muteChanged(mute);
}
