#pragma once

#include <QDateTime>
#include <QString>

// One line of the song history: a stream title as the player first showed it,
// the entry it came from, and when.
struct HeardTitle
{
    QDateTime time; // local time, with its offset from UTC
    QString station;
    QString title;

    // "time<TAB>station<TAB>title": the history file's line and what a copy puts on the clipboard.
    QString toTsv() const;
    // The inverse of toTsv(); a line that is not one gives an invalid time.
    static HeardTitle fromTsv(QStringView line);
    // Tabs and line breaks would break the line apart: they become blanks.
    static QString flattened(const QString &text);

    friend bool operator==(const HeardTitle &, const HeardTitle &) = default;
};
