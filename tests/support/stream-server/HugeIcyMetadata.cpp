#include "HugeIcyMetadata.h"

HugeIcyMetadata::HugeIcyMetadata(TitleSource title)
    : IcyMetadata(std::move(title))
{
}

QByteArray HugeIcyMetadata::nextBlock(const QString &title, bool)
{
    return hugeBlock(title);
}

QByteArray HugeIcyMetadata::hugeBlock(const QString &title)
{
    const QByteArray open = "StreamTitle='";
    const QByteArray close = "';";
    QByteArray payload;
    const QString unit = (title.isEmpty() ? QStringLiteral("演示") : title) + QLatin1Char(' ');
    for (int i = 0;; i = (i + 1) % unit.size()) {
        const QByteArray ch = QString(unit.at(i)).toUtf8();
        if (open.size() + payload.size() + ch.size() + close.size() > kMaxBlockBytes)
            break;
        payload += ch;
    }
    QByteArray text = open + payload + close;
    text.append(QByteArray(kMaxBlockBytes - text.size(), '\0'));
    return char(255) + text;
}
