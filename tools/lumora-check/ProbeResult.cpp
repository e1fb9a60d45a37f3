#include "ProbeResult.h"

QJsonObject ProbeResult::toJson() const
{
    QJsonObject object{{QStringLiteral("plays"), plays}, {QStringLiteral("elapsedMs"), elapsedMs}};
    if (plays) {
        object.insert(QStringLiteral("firstAudioMs"), firstAudioMs);
        object.insert(QStringLiteral("codec"), codec);
        object.insert(QStringLiteral("bitrate"), bitrate);
        object.insert(QStringLiteral("title"), title);
    } else {
        object.insert(QStringLiteral("kind"), kind);
        object.insert(QStringLiteral("reason"), reason);
    }
    return object;
}

ProbeResult ProbeResult::fromJson(const QJsonObject &object)
{
    ProbeResult result;
    result.plays = object.value(QStringLiteral("plays")).toBool();
    result.elapsedMs = object.value(QStringLiteral("elapsedMs")).toInteger();
    result.firstAudioMs = object.value(QStringLiteral("firstAudioMs")).toInteger(-1);
    result.codec = object.value(QStringLiteral("codec")).toString();
    result.bitrate = object.value(QStringLiteral("bitrate")).toInteger();
    result.title = object.value(QStringLiteral("title")).toString();
    result.kind = object.value(QStringLiteral("kind")).toString();
    result.reason = object.value(QStringLiteral("reason")).toString();
    return result;
}
