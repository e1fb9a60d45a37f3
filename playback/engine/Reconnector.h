#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "ReconnectPolicy.h"

// When to try a stream again, and when to give up on it. Two clocks: the
// watchdog of an open (a server that sends bytes that never become sound
// would keep libmpv probing; the player gives up after the network timeout)
// and the pause before the next attempt on a live stream that dropped, as
// ReconnectPolicy says.
class Reconnector : public QObject
{
    Q_OBJECT

public:
    explicit Reconnector(int openTimeoutMs, QObject *parent = nullptr);

    // A new choice: attempts count from the first again, none is pending.
    void reset();
    // No attempt comes; how many were made is kept.
    void cancel() { m_retry.stop(); }

    // A stream is being opened: openTimedOut() unless loaded() or
    // stopWatching() comes first.
    void watchOpen() { m_watchdog.start(); }
    void stopWatching() { m_watchdog.stop(); }
    bool watching() const { return m_watchdog.isActive(); }
    // The stream opened: the watchdog ends, and how long it plays counts.
    void loaded();

    // A live stream dropped: how long to wait before the next attempt, or -1
    // to give up. A stream that played long enough since it opened counts as
    // healthy and starts from the first delay.
    int dropped();
    // retry() follows after the delay, unless reset() or cancel() comes first.
    void retryAfter(int delayMs) { m_retry.start(delayMs); }
    bool waiting() const { return m_retry.isActive(); }
    int attempt() const { return m_policy.attempt(); }

Q_SIGNALS:
    void retry(int attempt);
    void openTimedOut();

private:
    ReconnectPolicy m_policy;
    QTimer m_retry;
    QTimer m_watchdog;
    QElapsedTimer m_sinceLoaded;
};
