#include "AsfBroadcast.h"

#include <QtEndian>

namespace {

// Object GUIDs in their on-disk byte order.
const QByteArray kFileProperties = QByteArray::fromHex("a1dcab8c47a9cf118ee400c00c205365");
const QByteArray kDataObject = QByteArray::fromHex("3626b2758e66cf11a6d900aa0062ce6c");
const QByteArray kHeaderObject = QByteArray::fromHex("3026b2758e66cf11a6d900aa0062ce6c");

constexpr qsizetype kFlagsOffset = 88;    // inside the file properties object
constexpr qsizetype kDataHeaderSize = 50; // GUID, size, file id, packet count, reserved
constexpr quint32 kBroadcastFlag = 0x1;

} // namespace

bool AsfBroadcast::split(const QByteArray &file, QByteArray *head, QByteArray *packets)
{
    if (!file.startsWith(kHeaderObject))
        return false;
    const qsizetype properties = file.indexOf(kFileProperties);
    const qsizetype data = file.indexOf(kDataObject);
    if (properties < 0 || data < 0 || properties + kFlagsOffset + 4 > data
        || data + kDataHeaderSize > file.size())
        return false;

    QByteArray header = file.left(data + kDataHeaderSize);
    char *flags = header.data() + properties + kFlagsOffset;
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(flags) | kBroadcastFlag, flags);

    // The data object's size covers what follows; a live stream has no end.
    const quint64 dataSize = qFromLittleEndian<quint64>(file.constData() + data + 16);
    const qsizetype end = qMin<qsizetype>(file.size(), data + qsizetype(dataSize));
    *head = header;
    *packets = file.mid(data + kDataHeaderSize, end - data - kDataHeaderSize);
    return !packets->isEmpty();
}
