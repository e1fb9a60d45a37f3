#include "AsfBroadcast.h"

#include <QtEndian>

namespace {

// Object GUIDs in their on-disk byte order.
const QByteArray kFileProperties = QByteArray::fromHex("a1dcab8c47a9cf118ee400c00c205365");
const QByteArray kDataObject = QByteArray::fromHex("3626b2758e66cf11a6d900aa0062ce6c");
const QByteArray kHeaderObject = QByteArray::fromHex("3026b2758e66cf11a6d900aa0062ce6c");

// Offsets inside the file properties object.
constexpr qsizetype kPlayDurationOffset = 64; // 100 ns units, preroll included
constexpr qsizetype kPrerollOffset = 80;      // milliseconds
constexpr qsizetype kFlagsOffset = 88;
constexpr qsizetype kMinPacketOffset = 92;
constexpr qsizetype kMaxPacketOffset = 96;
constexpr qsizetype kDataHeaderSize = 50; // GUID, size, file id, packet count, reserved
constexpr quint32 kBroadcastFlag = 0x1;

int fieldSize(int type)
{
    static const int sizes[4] = {0, 1, 2, 4};
    return sizes[type & 0x03];
}

quint32 readField(const uchar *p, int size)
{
    switch (size) {
    case 1: return p[0];
    case 2: return qFromLittleEndian<quint16>(p);
    case 4: return qFromLittleEndian<quint32>(p);
    default: return 0;
    }
}

void addToField(uchar *p, int size, quint32 add)
{
    if (size == 4)
        qToLittleEndian<quint32>(qFromLittleEndian<quint32>(p) + add, p);
}

} // namespace

AsfBroadcast::AsfBroadcast(const QByteArray &file)
{
    if (!file.startsWith(kHeaderObject))
        return;
    const qsizetype properties = file.indexOf(kFileProperties);
    const qsizetype data = file.indexOf(kDataObject);
    if (properties < 0 || data < 0 || properties + kMaxPacketOffset + 4 > data || data + kDataHeaderSize > file.size())
        return;
    const char *props = file.constData() + properties;
    const quint32 minPacket = qFromLittleEndian<quint32>(props + kMinPacketOffset);
    const quint32 maxPacket = qFromLittleEndian<quint32>(props + kMaxPacketOffset);
    if (minPacket != maxPacket || minPacket < 32)
        return;
    m_packetSize = int(minPacket);
    m_loopMs = qint64(qFromLittleEndian<quint64>(props + kPlayDurationOffset) / 10000)
        - qint64(qFromLittleEndian<quint64>(props + kPrerollOffset));

    m_head = file.left(data + kDataHeaderSize);
    char *flags = m_head.data() + properties + kFlagsOffset;
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(flags) | kBroadcastFlag, flags);

    // The data object's size covers its packets; an index may follow.
    const quint64 dataSize = qFromLittleEndian<quint64>(file.constData() + data + 16);
    const qsizetype end = qMin<qsizetype>(file.size(), data + qsizetype(dataSize));
    m_packets = file.mid(data + kDataHeaderSize, end - data - kDataHeaderSize);
    m_packets.truncate(m_packets.size() - m_packets.size() % m_packetSize);
    m_valid = m_loopMs > 0 && !m_packets.isEmpty() && !pass(1).isEmpty();
}

QByteArray AsfBroadcast::pass(quint32 loop) const
{
    if (loop == 0)
        return m_packets;
    QByteArray out = m_packets;
    const quint32 shift = quint32(m_loopMs * loop);
    for (qsizetype pos = 0; pos + m_packetSize <= out.size(); pos += m_packetSize) {
        if (!shiftPacket(reinterpret_cast<uchar *>(out.data() + pos), shift))
            return {};
    }
    return out;
}

bool AsfBroadcast::shiftPacket(uchar *packet, quint32 shiftMs) const
{
    const uchar *end = packet + m_packetSize;
    uchar *p = packet;
    if (p[0] & 0x80) // error correction data
        p += 1 + (p[0] & 0x0f);
    if (p + 2 > end)
        return false;
    const int lengthFlags = p[0];
    const int propertyFlags = p[1];
    p += 2;
    const bool multiple = lengthFlags & 0x01;
    p += fieldSize(lengthFlags >> 5); // packet length
    p += fieldSize(lengthFlags >> 1); // sequence
    const int paddingSize = fieldSize(lengthFlags >> 3);
    if (p + paddingSize + 6 > end)
        return false;
    const quint32 padding = readField(p, paddingSize);
    p += paddingSize;
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(p) + shiftMs, p); // send time
    p += 6;                                                                // and duration

    const int replicatedSize = fieldSize(propertyFlags);
    const int offsetSize = fieldSize(propertyFlags >> 2);
    const int objectSize = fieldSize(propertyFlags >> 4);
    const int streamSize = fieldSize(propertyFlags >> 6);
    int payloads = 1;
    int payloadLengthSize = 0;
    if (multiple) {
        if (p >= end)
            return false;
        payloads = p[0] & 0x3f;
        payloadLengthSize = fieldSize(p[0] >> 6);
        ++p;
    }
    for (int i = 0; i < payloads; ++i) {
        uchar *offsetField = p + streamSize + objectSize;
        p = offsetField + offsetSize;
        if (p + replicatedSize > end)
            return false;
        const quint32 replicated = readField(p, replicatedSize);
        p += replicatedSize;
        if (p + replicated > end)
            return false;
        if (replicated >= 8)
            qToLittleEndian<quint32>(qFromLittleEndian<quint32>(p + 4) + shiftMs, p + 4);
        else if (replicated == 1) // compressed payloads carry the time in the offset field
            addToField(offsetField, offsetSize, shiftMs);
        p += replicated;
        qsizetype length;
        if (multiple) {
            if (p + payloadLengthSize > end)
                return false;
            length = readField(p, payloadLengthSize);
            p += payloadLengthSize;
        } else {
            length = end - p - padding;
        }
        if (length < 0 || p + length > end)
            return false;
        p += length;
    }
    return true;
}
