#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>

#include "HeardTitle.h"
#include "HistoryFile.h"

// The titles heard, oldest first, as the player showed them: each once, with
// the entry's name and the local time it first appeared. A station repeating
// its title adds nothing; the title coming back after another one is a new
// line. Empty titles and titles that are only the entry's name are not songs.
// The file is read at the first title or the first look, not at start-up.
class SongHistory : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype kMaxLines = 5000;

    explicit SongHistory(const QString &path = HistoryFile::defaultPath(), QObject *parent = nullptr);

    const QList<HeardTitle> &lines();
    QString path() const { return m_file.path(); }

public Q_SLOTS:
    // The title the player now shows for the entry; `at` is the time it appeared.
    void heard(const QString &station, const QString &title, const QDateTime &at = QDateTime::currentDateTime());
    void clear();

Q_SIGNALS:
    void added(const HeardTitle &line);
    // Lines went from the oldest end (the cap) or all of them (clear).
    void reset();

private:
    void ensureLoaded();

    HistoryFile m_file;
    QList<HeardTitle> m_lines;
    bool m_loaded = false;
};
