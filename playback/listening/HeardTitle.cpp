#include "HeardTitle.h"

QString HeardTitle::flattened(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return out;
}

QString HeardTitle::toTsv() const
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate) + u'\t' + flattened(station) + u'\t'
        + flattened(title);
}

HeardTitle HeardTitle::fromTsv(QStringView line)
{
    const QList<QStringView> fields = line.split(u'\t');
    if (fields.size() != 3 || fields[2].isEmpty())
        return {};
    QDateTime time = QDateTime::fromString(fields[0].toString(), Qt::ISODate);
    // Only a time that says its offset from UTC means the same after a move or a change of clocks.
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime)
        return {};
    return { time, fields[1].toString(), fields[2].toString() };
}
