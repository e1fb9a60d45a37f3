#include "StreamProperties.h"

#include "StreamText.h"

namespace StreamProperties {

namespace {

// A title as MpvNode gives it: text, or the bytes of text that is not UTF-8.
QString titleText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return StreamText::decode(value.toByteArray());
    return value.toString();
}

}

QString title(const QVariantMap &metadata)
{
    QString title;
    for (auto it = metadata.cbegin(); it != metadata.cend(); ++it) {
        const QString key = it.key().toLower();
        if (key == QLatin1String("icy-title") || (key == QLatin1String("title") && title.isEmpty()))
            title = titleText(it.value()).trimmed();
    }
    return title;
}

bool hasVideo(const QVariantList &tracks)
{
    for (const QVariant &track : tracks) {
        const QVariantMap t = track.toMap();
        if (t.value(QStringLiteral("type")).toString() == QLatin1String("video")
            && !t.value(QStringLiteral("albumart")).toBool())
            return true;
    }
    return false;
}

}
