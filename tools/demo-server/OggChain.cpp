#include "OggChain.h"

#include <QHash>
#include <QtEndian>

#include <array>

namespace {

std::array<quint32, 256> makeTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : (r << 1);
        table[i] = r;
    }
    return table;
}

} // namespace

quint32 OggChain::crc(const char *data, qsizetype size)
{
    static const std::array<quint32, 256> table = makeTable();
    quint32 value = 0;
    for (qsizetype i = 0; i < size; ++i)
        value = (value << 8) ^ table[((value >> 24) ^ quint8(data[i])) & 0xff];
    return value;
}

QByteArray OggChain::withSerial(const QByteArray &ogg, quint32 firstSerial)
{
    QByteArray out = ogg;
    QHash<quint32, quint32> serials;
    qsizetype pos = 0;
    while (pos < out.size()) {
        if (out.size() - pos < 27 || !out.mid(pos, 4).startsWith("OggS"))
            return ogg;
        char *page = out.data() + pos;
        const int segments = quint8(page[26]);
        if (out.size() - pos < 27 + segments)
            return ogg;
        qsizetype length = 27 + segments;
        for (int i = 0; i < segments; ++i)
            length += quint8(page[27 + i]);
        if (out.size() - pos < length)
            return ogg;

        const quint32 old = qFromLittleEndian<quint32>(page + 14);
        if (!serials.contains(old))
            serials.insert(old, firstSerial + quint32(serials.size()));
        qToLittleEndian<quint32>(serials.value(old), page + 14);
        qToLittleEndian<quint32>(0, page + 22);
        qToLittleEndian<quint32>(crc(page, length), page + 22);
        pos += length;
    }
    return out;
}
