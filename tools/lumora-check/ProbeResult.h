#pragma once

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// What trying one address gave.
struct ProbeResult
{
    bool plays = false;
    // From the start of the try to the first decoded audio; -1 when none came.
    qint64 firstAudioMs = -1;
    QString codec;        // libmpv's audio codec name ("mp3", "aac"), empty when unknown
    qint64 bitrate = 0;   // audio bits per second, 0 when unknown
    QString title;        // the now-playing title, empty when the stream sent none
    QString reason;       // why it does not play, in the player's words
    QString kind;         // the same as a key for scripts (see FailureKind)
    qint64 elapsedMs = 0; // how long the try took

    // The fields that apply: plays and elapsedMs always, then firstAudioMs,
    // codec, bitrate and title for a station that plays, kind and reason for
    // one that does not.
    QJsonObject toJson() const;
    static ProbeResult fromJson(const QJsonObject &object);
};
