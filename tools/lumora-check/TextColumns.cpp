#include "TextColumns.h"

#include <algorithm>

#include <QList>

#include <unicode/uchar.h>

namespace TextColumns {

int displayWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const auto type = int8_t(u_charType(UChar32(c)));
        if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_FORMAT_CHAR) {
            continue;
        }
        const int eastAsian = u_getIntPropertyValue(UChar32(c), UCHAR_EAST_ASIAN_WIDTH);
        width += (eastAsian == U_EA_WIDE || eastAsian == U_EA_FULLWIDTH) ? 2 : 1;
    }
    return width;
}

QString padded(const QString &text, int width)
{
    return text + QString(std::max(0, width - displayWidth(text)), QLatin1Char(' '));
}

QStringList layout(const QList<QStringList> &rows, int indent)
{
    QList<int> widths;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) {
                widths.append(0);
            }
            widths[i] = std::max(widths[i], displayWidth(row.at(i)));
        }
    }
    QStringList lines;
    for (const QStringList &row : rows) {
        QString line(indent, QLatin1Char(' '));
        for (qsizetype i = 0; i < row.size(); ++i) {
            const bool last = i + 1 == row.size();
            line += last ? row.at(i) : padded(row.at(i), widths.at(i)) + QStringLiteral("  ");
        }
        while (line.endsWith(QLatin1Char(' '))) {
            line.chop(1);
        }
        lines.append(line);
    }
    return lines;
}

} // namespace TextColumns
