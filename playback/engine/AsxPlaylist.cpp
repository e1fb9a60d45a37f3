#include "AsxPlaylist.h"

#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

namespace AsxPlaylist {

namespace {

QString resolve(const QString &href, const QString &base)
{
    const QString trimmed = href.trimmed();
    if (base.isEmpty())
        return trimmed;
    const QUrl url(trimmed);
    if (!url.isRelative())
        return trimmed;
    return QUrl(base).resolved(url).toString();
}

QByteArray withoutBom(const QByteArray &bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
}

// Well-formed ASX through a streaming XML reader: <ref href> and
// <entryref href>, names in any case. DTDs and entities are not expanded.
bool fromXml(const QByteArray &content, const QString &base, QStringList &out)
{
    QXmlStreamReader xml(content);
    QStringList refs;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString().toLower();
        if (name != QLatin1String("ref") && name != QLatin1String("entryref"))
            continue;
        for (const QXmlStreamAttribute &a : xml.attributes()) {
            if (a.name().toString().toLower() == QLatin1String("href")) {
                refs.append(resolve(a.value().toString(), base));
                break;
            }
        }
    }
    if (xml.hasError())
        return false;
    out = refs;
    return true;
}

// Many ASX files in the wild are not well-formed XML (a bare "&" in an
// address is typical), so the references are also picked out by pattern.
// The attributes before href are looked through for at most 1024 characters:
// unbounded, every "<ref" of an answer without ">" made the search run to the
// end of the answer, and 256 KiB of "<ref " froze the window for seconds.
QStringList fromTags(const QString &text, const QString &base)
{
    static const QRegularExpression tag(
        QStringLiteral("<\\s*(?:entry)?ref\\b[^>]{0,1024}?\\bhref\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList refs;
    for (auto it = tag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString href = m.captured(1) + m.captured(2) + m.captured(3);
        href.replace(QLatin1String("&amp;"), QLatin1String("&"));
        refs.append(resolve(href, base));
    }
    return refs;
}

QStringList fromReferenceFile(const QString &text, const QString &base)
{
    static const QRegularExpression line(QStringLiteral("^\\s*Ref\\d+\\s*=\\s*(\\S.*?)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption
                                             | QRegularExpression::MultilineOption);
    QStringList refs;
    for (auto it = line.globalMatch(text); it.hasNext();)
        refs.append(resolve(it.next().captured(1), base));
    return refs;
}

}

bool isPlaylistAddress(const QString &address)
{
    const QString path = QUrl(address.trimmed()).path().toLower();
    return path.endsWith(QLatin1String(".asx")) || path.endsWith(QLatin1String(".wax"))
           || path.endsWith(QLatin1String(".wvx"));
}

bool looksLikePlaylist(const QByteArray &head)
{
    const QByteArray start = withoutBom(head).trimmed().left(64).toLower();
    return start.startsWith("<asx") || start.startsWith("[reference]")
           || (start.startsWith("<?xml") && withoutBom(head).left(1024).toLower().contains("<asx"));
}

QStringList references(const QByteArray &content, const QString &base)
{
    const QByteArray bytes = withoutBom(content.left(kMaxBytes));
    const QString text = QString::fromUtf8(bytes);
    if (text.trimmed().startsWith(QLatin1String("[Reference]"), Qt::CaseInsensitive))
        return fromReferenceFile(text, base);
    QStringList refs;
    if (fromXml(bytes, base, refs))
        return refs;
    return fromTags(text, base);
}

}
