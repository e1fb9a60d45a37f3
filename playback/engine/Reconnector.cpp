#include "Reconnector.h"

Reconnector::Reconnector(int openTimeoutMs, QObject *parent)
    : QObject(parent)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(openTimeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, &Reconnector::openTimedOut);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { Q_EMIT retry(m_policy.attempt()); });
}

void Reconnector::reset()
{
    m_retry.stop();
    m_policy.reset();
}

void Reconnector::loaded()
{
    m_watchdog.stop();
    m_sinceLoaded.start();
}

int Reconnector::dropped()
{
    // How long the stream played since it was last opened.
    const qint64 played = m_sinceLoaded.isValid() ? m_sinceLoaded.elapsed() : 0;
    m_sinceLoaded.invalidate();
    return m_policy.nextDelayMs(played);
}
