#pragma once

#include <QtGlobal>

// When a live stream that was playing drops, the player opens it again after
// a pause that doubles with every failed attempt, up to a cap, and gives up
// after a bounded number of attempts. A stream that then plays for a while
// counts as healthy again and starts from the first delay next time.
class ReconnectPolicy
{
public:
    static constexpr int kFirstDelayMs = 1000;
    static constexpr int kMaxDelayMs = 30000;
    static constexpr int kMaxAttempts = 8;
    static constexpr int kHealthyAfterMs = 10000;

    // The stream dropped after playing for playedMs since it was last opened.
    // Returns the delay before the next attempt, or -1 to give up.
    int nextDelayMs(qint64 playedMs);
    int attempt() const { return m_attempt; }
    void reset() { m_attempt = 0; }

private:
    int m_attempt = 0;
};
