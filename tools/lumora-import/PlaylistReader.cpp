#include "PlaylistReader.h"

#include <algorithm>
#include <map>

#include <QRegularExpression>
#include <QStringDecoder>

namespace PlaylistReader {

namespace {

QStringList splitLines(const QString &text)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    return text.split(lineEnd);
}

bool decode(const QByteArray &bytes, const QString &encoding, Playlist &playlist, QString &text)
{
    QByteArrayView data(bytes);
    QString name = encoding;
    if (name.isEmpty()) {
        if (const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(data)) {
            name = QString::fromLatin1(QStringConverter::nameForEncoding(*marked));
        } else {
            QStringDecoder utf8(QStringConverter::Utf8);
            text = utf8.decode(data);
            if (!utf8.hasError()) {
                playlist.encoding = QStringLiteral("UTF-8");
                return true;
            }
            name = QStringLiteral("GBK");
        }
    }
    QStringDecoder decoder(name.toLatin1().constData());
    if (!decoder.isValid()) {
        playlist.error = QStringLiteral("不认识的编码 %1").arg(name);
        return false;
    }
    text = decoder.decode(data);
    playlist.encoding = name;
    if (decoder.hasError()) {
        playlist.notes.append(QStringLiteral("有些字节不是有效的 %1 编码，已显示为“\uFFFD”").arg(name));
    }
    return true;
}

// "-1 tvg-name="a,b" group-title="x",Title, with comma": the text after the
// first comma outside quotes is the title; the attributes stand before it.
void parseExtinf(const QString &rest, Entry &entry)
{
    qsizetype comma = -1;
    QChar quote;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QChar c = rest.at(i);
        if (!quote.isNull()) {
            if (c == quote) {
                quote = QChar();
            }
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u',') {
            comma = i;
            break;
        }
    }
    const QString attributes = comma < 0 ? rest : rest.left(comma);
    entry.title = comma < 0 ? QString() : rest.mid(comma + 1).trimmed();
    static const QRegularExpression attribute(QStringLiteral(R"re(([A-Za-z0-9_-]+)\s*=\s*(?:"([^"]*)"|'([^']*)'|(\S+)))re"));
    for (auto it = attribute.globalMatch(attributes); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString key = m.captured(1).toLower();
        const QString value = (m.capturedStart(2) >= 0 ? m.captured(2)
                               : m.capturedStart(3) >= 0 ? m.captured(3)
                                                          : m.captured(4)).trimmed();
        if (key == QLatin1String("tvg-name")) {
            entry.tvgName = value;
        } else if (key == QLatin1String("group-title")) {
            entry.group = value;
        }
    }
}

void readM3u(const QStringList &lines, Playlist &playlist)
{
    Entry pending;
    bool havePending = false;
    int pendingLine = 0;
    QString extgrp;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        const int number = int(i + 1);
        if (line.isEmpty()) {
            continue;
        }
        if (line.startsWith(u'#')) {
            if (line.startsWith(QLatin1String("#EXT-X-"), Qt::CaseInsensitive)) {
                playlist.error = QStringLiteral(
                    "这是 HLS 流的播放列表（第 %1 行 %2），不是电台列表：它的地址本身就是一个电台，"
                    "请直接把它写进列表文件").arg(number).arg(line.section(u':', 0, 0));
                return;
            }
            if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) {
                if (havePending) {
                    playlist.notes.append(QStringLiteral("第 %1 行的 #EXTINF 后面没有地址，已忽略").arg(pendingLine));
                }
                pending = Entry{};
                parseExtinf(line.mid(8), pending);
                havePending = true;
                pendingLine = number;
            } else if (line.startsWith(QLatin1String("#EXTGRP:"), Qt::CaseInsensitive)) {
                // Holds for the entries that follow, until the next one.
                extgrp = line.mid(8).trimmed();
            }
            continue;
        }
        Entry entry = havePending ? pending : Entry{};
        if (entry.group.isEmpty()) {
            entry.group = extgrp;
        }
        entry.address = line;
        entry.line = number;
        playlist.entries.append(entry);
        havePending = false;
    }
    if (havePending) {
        playlist.notes.append(QStringLiteral("第 %1 行的 #EXTINF 后面没有地址，已忽略").arg(pendingLine));
    }
}

void readPls(const QStringList &lines, Playlist &playlist)
{
    struct Numbered
    {
        QString file;
        QString title;
        int line = 0;
    };
    std::map<int, Numbered> numbered; // by N, so gaps in the numbering do not matter
    int declared = -1;
    bool inPlaylist = false;
    static const QRegularExpression key(QStringLiteral(R"re(^(file|title|length)(\d+)$)re"),
                                        QRegularExpression::CaseInsensitiveOption);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[')) {
            inPlaylist = line.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inPlaylist || equals < 0) {
            continue;
        }
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (name.compare(QLatin1String("NumberOfEntries"), Qt::CaseInsensitive) == 0) {
            declared = value.toInt();
            continue;
        }
        const QRegularExpressionMatch m = key.match(name);
        if (!m.hasMatch()) {
            continue;
        }
        Numbered &item = numbered[m.captured(2).toInt()];
        const QString kind = m.captured(1).toLower();
        if (kind == QLatin1String("file")) {
            item.file = value;
            item.line = int(i + 1);
        } else if (kind == QLatin1String("title")) {
            item.title = value;
        }
    }
    int found = 0;
    for (const auto &[number, item] : numbered) {
        if (item.file.isEmpty()) {
            if (!item.title.isEmpty()) {
                playlist.notes.append(QStringLiteral("Title%1 没有对应的 File%1，已忽略").arg(number));
            }
            continue;
        }
        ++found;
        Entry entry;
        entry.title = item.title;
        entry.address = item.file;
        entry.line = item.line;
        playlist.entries.append(entry);
    }
    if (declared >= 0 && declared != found) {
        playlist.notes.append(
            QStringLiteral("NumberOfEntries 写的是 %1，实际找到 %2 个条目，以找到的为准").arg(declared).arg(found));
    }
}

} // namespace

Playlist read(const QByteArray &bytes, const QString &encoding)
{
    Playlist playlist;
    QString text;
    if (!decode(bytes, encoding, playlist, text)) {
        return playlist;
    }
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    const QStringList lines = splitLines(text);
    QString first;
    for (const QString &line : lines) {
        first = line.trimmed();
        if (!first.isEmpty()) {
            break;
        }
    }
    if (first.startsWith(u'<')) {
        playlist.error = QStringLiteral("这不是 M3U 或 PLS 播放列表（像是 XML 或 HTML）");
        return playlist;
    }
    // A PLS file is an INI file: its [playlist] section need not come first.
    const bool pls = first.startsWith(u'[') && std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.trimmed().compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0;
    });
    if (pls) {
        playlist.format = Format::Pls;
        readPls(lines, playlist);
    } else {
        playlist.format = Format::M3u;
        readM3u(lines, playlist);
    }
    if (playlist.error.isEmpty() && playlist.entries.isEmpty()) {
        playlist.error = QStringLiteral("播放列表里没有找到任何地址");
    }
    return playlist;
}

} // namespace PlaylistReader
