#pragma once

#include <QDateTime>
#include <QString>

// Where a recording goes and what its files are called:
// "<entry> <yyyy-MM-dd HHmmss>.<ext>", or with the song's title after the time
// where the station sends titles; in the user's music folder, under Lumora/.
class RecordingNames
{
public:
    // $XDG_MUSIC_DIR/Lumora (as xdg-user-dirs sets it), or ~/Music/Lumora.
    static QString folder();
    // The extension for what the stream carries, from the engine's names for
    // its container and audio codec: "mp3", "aac", "ogg", "ts", …
    static QString extension(const QString &fileFormat, const QString &audioCodec);
    static QString fileName(const QString &entry, const QDateTime &time, const QString &title,
                            const QString &extension);
    // Characters a file name cannot hold, or that file managers trip on, become blanks or go.
    static QString safe(const QString &text);
};
