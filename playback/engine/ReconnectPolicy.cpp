#include "ReconnectPolicy.h"

#include <algorithm>

int ReconnectPolicy::nextDelayMs(qint64 playedMs)
{
    if (playedMs >= kHealthyAfterMs)
        m_attempt = 0;
    if (m_attempt >= kMaxAttempts)
        return -1;
    const int delay = std::min(kMaxDelayMs, kFirstDelayMs << std::min(m_attempt, 5));
    ++m_attempt;
    return delay;
}
