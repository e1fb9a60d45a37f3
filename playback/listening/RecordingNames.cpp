#include "RecordingNames.h"

#include <QDir>
#include <QStandardPaths>

namespace {

// Well inside the 255 bytes a file name may have, with room for the time and extension.
constexpr qsizetype kMaxPartBytes = 150;

QString cutToBytes(QString text, qsizetype maxBytes)
{
    while (text.toUtf8().size() > maxBytes)
        text.chop(text.size() > 1 && text.at(text.size() - 1).isLowSurrogate() ? 2 : 1);
    return text.trimmed();
}

} // namespace

QString RecordingNames::folder()
{
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + QStringLiteral("/Music");
    return music + QStringLiteral("/Lumora");
}

QString RecordingNames::extension(const QString &fileFormat, const QString &audioCodec)
{
    const QString format = fileFormat.toLower();
    const QString codec = audioCodec.toLower();
    if (format.contains(QLatin1String("mpegts")) || format == QLatin1String("hls"))
        return QStringLiteral("ts");
    if (format.contains(QLatin1String("ogg")))
        return codec == QLatin1String("opus") ? QStringLiteral("opus") : QStringLiteral("ogg");
    if (format.contains(QLatin1String("asf")))
        return QStringLiteral("wma");
    if (format.contains(QLatin1String("matroska")) || format.contains(QLatin1String("webm")))
        return QStringLiteral("mka");
    if (codec == QLatin1String("mp3") || format == QLatin1String("mp3"))
        return QStringLiteral("mp3");
    if (codec == QLatin1String("aac") || format == QLatin1String("aac"))
        return QStringLiteral("aac");
    if (codec == QLatin1String("flac") || format == QLatin1String("flac"))
        return QStringLiteral("flac");
    // What the engine can always write back: a Matroska audio file.
    return QStringLiteral("mka");
}

QString RecordingNames::safe(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?'
            || c == u'"' || c == u'<' || c == u'>' || c == u'|')
            out += u' ';
        else
            out += c;
    }
    out = out.simplified();
    // A leading dot would hide the file; a leading dash reads as an option to many tools.
    while (out.startsWith(u'.') || out.startsWith(u'-'))
        out.remove(0, 1);
    return cutToBytes(out, kMaxPartBytes);
}

QString RecordingNames::fileName(const QString &entry, const QDateTime &time, const QString &title,
                                 const QString &extension)
{
    QString name = safe(entry);
    if (name.isEmpty())
        name = QStringLiteral("录音");
    name += u' ' + time.toString(QStringLiteral("yyyy-MM-dd HHmmss"));
    const QString song = safe(title);
    if (!song.isEmpty())
        name += u' ' + song;
    return name + u'.' + extension;
}
