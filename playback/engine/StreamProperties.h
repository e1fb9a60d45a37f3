#pragma once

#include <QString>
#include <QVariant>

// What the player reads from the properties libmpv reports of a stream, as
// MpvNode hands them over.
namespace StreamProperties {

// The title a stream announces in its "metadata": the ICY title a station
// sends with the song, else the file's own title; trimmed, decoded from
// whatever encoding the server used.
QString title(const QVariantMap &metadata);
// Whether the "track-list" holds a picture that moves: a cover of an audio
// file is no video.
bool hasVideo(const QVariantList &tracks);

}
