#include "SleepTimer.h"

#include <QElapsedTimer>

#include <cmath>

namespace {

SleepTimer::Clock monotonicClock()
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    return [clock] { return clock->elapsed(); };
}

} // namespace

SleepTimer::SleepTimer(QObject *parent)
    : SleepTimer(monotonicClock(), parent)
{
}

SleepTimer::SleepTimer(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(std::move(clock))
{
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    connect(&m_wake, &QTimer::timeout, this, &SleepTimer::update);
}

void SleepTimer::start(int minutes)
{
    startFor(qint64(minutes) * 60 * 1000);
    m_minutes = minutes;
}

void SleepTimer::startFor(qint64 ms)
{
    const bool wasActive = isActive();
    m_minutes = int(ms / 60000);
    m_endMs = m_clock() + ms;
    if (!wasActive)
        Q_EMIT activeChanged(true);
    update();
}

void SleepTimer::cancel()
{
    if (!isActive())
        return;
    m_endMs = -1;
    m_minutes = 0;
    m_wake.stop();
    update();
    Q_EMIT activeChanged(false);
}

qint64 SleepTimer::remainingMs() const
{
    return isActive() ? qMax<qint64>(0, m_endMs - m_clock()) : 0;
}

double SleepTimer::volumeFactor() const
{
    if (!isActive())
        return 1.0;
    const qint64 left = remainingMs();
    return left >= kFadeMs ? 1.0 : double(left) / double(kFadeMs);
}

QString SleepTimer::remainingText() const
{
    if (!isActive())
        return {};
    const qint64 left = remainingMs();
    if (left > 60 * 1000)
        return QStringLiteral("还剩 %1 分钟").arg((left + 59999) / 60000);
    return QStringLiteral("还剩 %1 秒").arg((left + 999) / 1000);
}

void SleepTimer::update()
{
    const QString text = remainingText();
    if (text != m_shownText) {
        m_shownText = text;
        Q_EMIT remainingTextChanged(text);
    }
    // Fade steps are small enough not to be heard as steps.
    const double factor = std::round(volumeFactor() * 120.0) / 120.0;
    if (factor != m_shownFactor) {
        m_shownFactor = factor;
        Q_EMIT volumeFactorChanged(factor);
    }
    if (isActive() && remainingMs() == 0) {
        m_endMs = -1;
        m_minutes = 0;
        m_wake.stop();
        m_shownText.clear();
        Q_EMIT remainingTextChanged(QString());
        Q_EMIT expired();
        Q_EMIT activeChanged(false);
        m_shownFactor = 1.0;
        Q_EMIT volumeFactorChanged(1.0);
        return;
    }
    schedule();
}

void SleepTimer::schedule()
{
    if (!isActive())
        return;
    const qint64 left = remainingMs();
    qint64 next;
    if (left <= kFadeMs) {
        next = qMin<qint64>(kFadeStepMs, left);
    } else if (left <= 60 * 1000) {
        // The next whole second, or the start of the fade.
        next = qMin(left - kFadeMs, (left - 1) % 1000 + 1);
    } else {
        // The next whole minute shown.
        next = (left - 1) % 60000 + 1;
        if (left - next < 60 * 1000)
            next = left - 60 * 1000;
    }
    m_wake.start(int(qMax<qint64>(1, next)));
}
