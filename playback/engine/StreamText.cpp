#include "StreamText.h"

#include <QStringDecoder>

namespace StreamText {

QString decode(const QByteArray &bytes)
{
    if (QByteArrayView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    // Every byte sequence means something in GB18030 (a few as U+FFFD), so
    // there is nothing further to fall back to.
    QStringDecoder gb18030("GB18030");
    if (!gb18030.isValid())
        return QString::fromUtf8(bytes);
    return gb18030(bytes);
}

}
