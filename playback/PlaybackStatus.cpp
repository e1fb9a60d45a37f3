#include "PlaybackStatus.h"

PlaybackStatus::PlaybackStatus(QObject *parent)
    : QObject(parent)
{
}

QString PlaybackStatus::text() const
{
    switch (m_state) {
    case State::Idle:
        return QStringLiteral("就绪");
    case State::Connecting:
        return QStringLiteral("正在连接…");
    case State::Buffering:
        return QStringLiteral("正在缓冲 %1%").arg(m_percent);
    case State::Playing:
        return m_title.isEmpty() ? QStringLiteral("正在播放") : QStringLiteral("正在播放:%1").arg(m_title);
    case State::Paused:
        return QStringLiteral("已暂停");
    case State::Stopped:
        return QStringLiteral("已停止");
    case State::Ended:
        return QStringLiteral("播放完毕");
    case State::Reconnecting:
        if (m_delayMs <= 0)
            return QStringLiteral("正在重新连接(第 %1 次)…").arg(m_attempt);
        return QStringLiteral("连接中断,%1 秒后重新连接(第 %2 次)")
            .arg((m_delayMs + 999) / 1000)
            .arg(m_attempt);
    case State::Failed:
        return QStringLiteral("无法播放:%1").arg(m_failure.text());
    case State::Unavailable:
        return QStringLiteral("播放器不可用:%1").arg(m_failure.text());
    }
    return {};
}

template<typename Change>
void PlaybackStatus::update(Change &&change)
{
    const State was = m_state;
    const QString before = text();
    change();
    if (m_state != was || text() != before)
        Q_EMIT changed();
}

void PlaybackStatus::connecting()
{
    update([this] {
        m_title.clear();
        m_failure = Failure();
        m_state = State::Connecting;
    });
}

void PlaybackStatus::buffering(int percent)
{
    update([this, percent] {
        m_percent = qBound(0, percent, 100);
        m_state = State::Buffering;
    });
}

void PlaybackStatus::playing()
{
    update([this] { m_state = State::Playing; });
}

void PlaybackStatus::paused()
{
    update([this] { m_state = State::Paused; });
}

void PlaybackStatus::stopped()
{
    update([this] {
        m_title.clear();
        m_state = State::Stopped;
    });
}

void PlaybackStatus::ended()
{
    update([this] { m_state = State::Ended; });
}

void PlaybackStatus::reconnecting(int attempt, int delayMs)
{
    update([this, attempt, delayMs] {
        m_attempt = attempt;
        m_delayMs = delayMs;
        m_state = State::Reconnecting;
    });
}

void PlaybackStatus::failed(const Failure &failure)
{
    update([this, &failure] {
        m_failure = failure;
        m_state = State::Failed;
    });
}

void PlaybackStatus::unavailable(const Failure &failure)
{
    update([this, &failure] {
        m_failure = failure;
        m_state = State::Unavailable;
    });
}

void PlaybackStatus::setTitle(const QString &title)
{
    update([this, &title] { m_title = title; });
}
