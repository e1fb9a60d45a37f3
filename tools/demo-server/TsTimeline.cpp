#include "TsTimeline.h"

#include <QList>

namespace {

qint64 readTimestamp(const uchar *p)
{
    return (qint64(p[0] >> 1) & 0x07) << 30 | qint64(p[1]) << 22 | qint64(p[2] >> 1) << 15 | qint64(p[3]) << 7
        | qint64(p[4] >> 1);
}

void writeTimestamp(uchar *p, qint64 value)
{
    p[0] = uchar((p[0] & 0xf1) | ((value >> 29) & 0x0e));
    p[1] = uchar(value >> 22);
    p[2] = uchar(((value >> 14) & 0xfe) | 0x01);
    p[3] = uchar(value >> 7);
    p[4] = uchar(((value << 1) & 0xfe) | 0x01);
}

// Where a packet's payload starts, or -1 when it has none.
int payloadStart(const uchar *packet)
{
    const int control = (packet[3] >> 4) & 0x03;
    if (!(control & 0x01))
        return -1;
    int start = 4;
    if (control & 0x02)
        start += 1 + packet[4];
    return start < TsTimeline::kPacketSize ? start : -1;
}

// The PES timestamp fields of a packet that starts a PES packet: offsets of
// PTS and DTS inside the packet, -1 for absent ones.
void pesTimestamps(const uchar *packet, int *pts, int *dts)
{
    *pts = *dts = -1;
    if (!(packet[1] & 0x40))
        return;
    const int start = payloadStart(packet);
    if (start < 0 || start + 19 > TsTimeline::kPacketSize)
        return;
    const uchar *pes = packet + start;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || (pes[6] & 0xc0) != 0x80)
        return;
    const int flags = pes[7] >> 6;
    if (flags & 0x02)
        *pts = start + 9;
    if (flags == 0x03)
        *dts = start + 14;
}

} // namespace

TsTimeline::TsTimeline(const QByteArray &ts)
    : m_ts(ts)
{
    if (ts.isEmpty() || ts.size() % kPacketSize != 0)
        return;
    QHash<int, QList<qint64>> stamps;
    for (qsizetype pos = 0; pos < ts.size(); pos += kPacketSize) {
        const auto *packet = reinterpret_cast<const uchar *>(ts.constData() + pos);
        if (packet[0] != 0x47)
            return;
        const int pid = (packet[1] & 0x1f) << 8 | packet[2];
        if (payloadStart(packet) >= 0)
            ++m_payloadPackets[pid];
        int pts = -1;
        int dts = -1;
        pesTimestamps(packet, &pts, &dts);
        if (pts >= 0)
            stamps[pid].append(readTimestamp(packet + (dts >= 0 ? dts : pts)));
    }
    // A pass lasts as long as its longest stream, each stream's span plus its
    // last step; the others get a gap at the seam, which players bridge, where
    // an overlap would make them drop or reorder. Audio should be muxed with one
    // frame per PES packet (-pes_payload_size 0) so that its step is one frame.
    for (const QList<qint64> &list : std::as_const(stamps)) {
        if (list.size() < 2)
            continue;
        const qint64 step = list.last() - list.at(list.size() - 2);
        m_loopTicks = qMax(m_loopTicks, list.last() - list.first() + step);
    }
    m_valid = m_loopTicks > 0;
}

QByteArray TsTimeline::pass(quint32 loop) const
{
    if (!m_valid || loop == 0)
        return m_ts;
    QByteArray out = m_ts;
    const qint64 shift = (m_loopTicks * loop) % kWrap;
    for (qsizetype pos = 0; pos < out.size(); pos += kPacketSize) {
        auto *packet = reinterpret_cast<uchar *>(out.data() + pos);
        const int pid = (packet[1] & 0x1f) << 8 | packet[2];
        if (payloadStart(packet) >= 0) {
            const int counter = (packet[3] + int((qint64(m_payloadPackets.value(pid)) * loop) % 16)) & 0x0f;
            packet[3] = uchar((packet[3] & 0xf0) | counter);
        }
        // Programme clock reference in the adaptation field.
        if ((packet[3] & 0x20) && packet[4] >= 7 && (packet[5] & 0x10)) {
            uchar *p = packet + 6;
            qint64 base = qint64(p[0]) << 25 | qint64(p[1]) << 17 | qint64(p[2]) << 9 | qint64(p[3]) << 1 | (p[4] >> 7);
            base = (base + shift) % kWrap;
            p[0] = uchar(base >> 25);
            p[1] = uchar(base >> 17);
            p[2] = uchar(base >> 9);
            p[3] = uchar(base >> 1);
            p[4] = uchar((p[4] & 0x7f) | ((base & 1) << 7));
        }
        int pts = -1;
        int dts = -1;
        pesTimestamps(packet, &pts, &dts);
        for (int at : {pts, dts}) {
            if (at >= 0)
                writeTimestamp(packet + at, (readTimestamp(packet + at) + shift) % kWrap);
        }
    }
    return out;
}
