#pragma once

#include <QByteArray>

// An ASF file as a live broadcast: the header once, with the broadcast flag set
// so that readers ignore its file size and duration, then the data packets
// over and over. Resending the header would end playback in common readers.
class AsfBroadcast
{
public:
    // Splits `file` into `head` (header object plus the data object's own header)
    // and `packets`. False when the file is not ASF as expected.
    static bool split(const QByteArray &file, QByteArray *head, QByteArray *packets);
};
