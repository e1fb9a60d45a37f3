#include "MmshFraming.h"

#include <QtEndian>

#include "AsfBroadcast.h"

namespace MmshFraming {

QByteArray chunk(char type, quint32 sequence, const QByteArray &payload)
{
    const quint16 length = quint16(payload.size() + 8);
    QByteArray out(kChunkHeaderBytes, '\0');
    uchar *p = reinterpret_cast<uchar *>(out.data());
    p[0] = '$';
    p[1] = uchar(type);
    qToLittleEndian<quint16>(length, p + 2);
    qToLittleEndian<quint32>(sequence, p + 4);
    // The flag byte: 0x0c marks a header chunk that is complete in itself.
    p[9] = type == 'H' ? 0x0c : 0x00;
    qToLittleEndian<quint16>(length, p + 10);
    return out + payload;
}

QByteArray headerChunk(const AsfBroadcast &asf)
{
    return chunk('H', 0, asf.head());
}

QByteArray dataChunks(const AsfBroadcast &asf, quint32 loop)
{
    const QByteArray packets = asf.pass(loop);
    const int size = asf.packetSize();
    const quint32 perPass = quint32(asf.pass(0).size() / size);
    QByteArray out;
    out.reserve(packets.size() / size * (size + kChunkHeaderBytes));
    quint32 sequence = 1 + loop * perPass;
    for (qsizetype pos = 0; pos + size <= packets.size(); pos += size)
        out += chunk('D', sequence++, packets.mid(pos, size));
    return out;
}

} // namespace MmshFraming
