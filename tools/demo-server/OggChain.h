#pragma once

#include <QByteArray>

// Looping an Ogg file by resending it makes a chained stream, which is legal
// only when each link has serial numbers of its own; this rewrites them.
class OggChain
{
public:
    // A copy of `ogg` whose logical streams get serial numbers from `firstSerial` on,
    // with every page checksum recomputed. Returns the input unchanged when it is
    // not a sequence of Ogg pages.
    static QByteArray withSerial(const QByteArray &ogg, quint32 firstSerial);

    static quint32 crc(const char *data, qsizetype size);
};
