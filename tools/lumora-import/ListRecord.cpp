#include "ListRecord.h"

#include <QList>
#include <QStringEncoder>

#include "GbkText.h"

namespace ListRecord {

Address address(const QString &raw)
{
    Address result;
    const QString trimmed = raw.trimmed();
    const bool url = trimmed.contains(QLatin1String("://")) || trimmed.startsWith(QLatin1String("file:"));
    for (const char32_t c : trimmed.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        if (c != U'|' && c != U'"' && GbkText::holds(character)) {
            result.text += character;
            continue;
        }
        if (!url) {
            result.problem = c == U'|'   ? QStringLiteral("路径中有“|”，列表文件无法保存")
                             : c == U'"' ? QStringLiteral("路径中有双引号，列表文件无法保存")
                                         : QStringLiteral("路径中有 GBK 无法表示的字符“%1”").arg(character);
            return result;
        }
        for (const char byte : character.toUtf8()) {
            result.text += QStringLiteral("%%1").arg(uchar(byte), 2, 16, QLatin1Char('0')).toUpper();
        }
        result.encoded = true;
    }
    return result;
}

QString record(const QString &name, const QString &address)
{
    const QString text = QStringLiteral("|%1|%2").arg(name, address);
    return text.contains(u',') ? QLatin1Char('"') + text + QLatin1Char('"') : text;
}

QByteArray encode(const QStringList &records, bool utf8)
{
    QStringEncoder encoder(utf8 ? "UTF-8" : "GBK");
    QByteArray bytes;
    for (const QString &record : records) {
        bytes += encoder.encode(record);
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace ListRecord
