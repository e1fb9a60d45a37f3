#include "PlayerState.h"

#include <algorithm>

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

template<typename Change>
void PlayerState::update(Change &&change)
{
    // Once the engine could not start, nothing else happens.
    if (m_state == State::Unavailable)
        return;
    const State state = m_state;
    const QString text = this->text();
    const QString title = m_title;
    change();
    if (m_state != state)
        Q_EMIT stateChanged(m_state);
    if (m_title != title)
        Q_EMIT titleChanged(m_title);
    if (const QString now = this->text(); now != text)
        Q_EMIT textChanged(now);
}

void PlayerState::loadingEngine()
{
    update([this] {
        if (m_state == State::NoEngine)
            m_state = State::LoadingEngine;
    });
}

void PlayerState::engineReady()
{
    update([this] {
        if (in({State::NoEngine, State::LoadingEngine}))
            m_state = State::Idle;
    });
}

void PlayerState::engineUnavailable(const Failure &failure)
{
    update([this, &failure] {
        m_failure = failure;
        m_state = State::Unavailable;
    });
}

void PlayerState::opening()
{
    update([this] {
        m_title.clear();
        m_failure = Failure();
        m_state = State::Opening;
    });
}

void PlayerState::fetchingPlaylist()
{
    update([this] { m_state = State::FetchingPlaylist; });
}

void PlayerState::buffering(int percent)
{
    update([this, percent] {
        m_percent = std::clamp(percent, 0, 100);
        m_state = State::Buffering;
    });
}

void PlayerState::opened()
{
    buffering(0);
}

void PlayerState::stalled()
{
    if (in({State::Buffering, State::Playing}))
        buffering(0);
}

void PlayerState::bufferFilled(int percent)
{
    if (m_state == State::Buffering)
        buffering(percent);
}

void PlayerState::playing()
{
    update([this] {
        if (in({State::Buffering, State::Playing}))
            m_state = State::Playing;
    });
}

void PlayerState::paused()
{
    update([this] {
        if (isOpen())
            m_state = State::Paused;
    });
}

void PlayerState::resumed()
{
    update([this] {
        if (isOpen())
            m_state = State::Playing;
    });
}

void PlayerState::reconnecting(int attempt, int delayMs)
{
    update([this, attempt, delayMs] {
        m_attempt = attempt;
        m_delayMs = delayMs;
        m_state = State::Reconnecting;
    });
}

void PlayerState::failed(const Failure &failure)
{
    update([this, &failure] {
        m_failure = failure;
        m_state = State::Failed;
    });
}

void PlayerState::stopped()
{
    update([this] {
        m_title.clear();
        m_state = State::Stopped;
    });
}

void PlayerState::ended()
{
    update([this] { m_state = State::Ended; });
}

void PlayerState::setTitle(const QString &title)
{
    update([this, &title] { m_title = title; });
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
