#pragma once

#include <QByteArray>
#include <QHash>

// Loops an MPEG-TS file as one endless programme: each pass has its clock
// references and timestamps moved on by the length of the file and its
// continuity counters carried on, so players see no reset at the seam (mpv
// stalls on a plain resend).
class TsTimeline
{
public:
    static constexpr int kPacketSize = 188;
    static constexpr qint64 kWrap = qint64(1) << 33; // 90 kHz clocks are 33 bits

    explicit TsTimeline(const QByteArray &ts);

    bool isValid() const { return m_valid; }
    // Length of one pass in 90 kHz ticks.
    qint64 loopTicks() const { return m_loopTicks; }
    // The bytes of pass `loop` (0: the file as it is).
    QByteArray pass(quint32 loop) const;

private:
    QByteArray m_ts;
    bool m_valid = false;
    qint64 m_loopTicks = 0;
    QHash<int, int> m_payloadPackets; // per PID, for the continuity counters
};
