#pragma once

#include <QByteArray>

// An ASF file as a live broadcast: the header once, with the broadcast flag set
// so that readers ignore its file size and duration, then the data packets
// over and over with their send and presentation times moved on by the length
// of the file each pass. A resent header, or times that start again, end
// playback in common readers.
class AsfBroadcast
{
public:
    explicit AsfBroadcast(const QByteArray &file);

    bool isValid() const { return m_valid; }
    // Header object plus the data object's own header.
    QByteArray head() const { return m_head; }
    qint64 loopMs() const { return m_loopMs; }
    int packetSize() const { return m_packetSize; }
    // The data packets of pass `loop` (0: as in the file).
    QByteArray pass(quint32 loop) const;

private:
    bool shiftPacket(uchar *packet, quint32 shiftMs) const;

    QByteArray m_head;
    QByteArray m_packets;
    int m_packetSize = 0;
    qint64 m_loopMs = 0;
    bool m_valid = false;
};
