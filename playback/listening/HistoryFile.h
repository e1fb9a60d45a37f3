#pragma once

#include <QList>
#include <QString>

#include "HeardTitle.h"

// The song history on disk: UTF-8, one title a line, appended and flushed as
// each title arrives so that a crash loses nothing written before it. A file
// that cannot be read as one is moved aside and the history starts afresh.
class HistoryFile
{
public:
    explicit HistoryFile(QString path);

    // $XDG_DATA_HOME/lumora/history.tsv
    static QString defaultPath();

    QString path() const { return m_path; }
    // The lines, oldest first. A damaged or unreadable file is renamed to a
    // name beside it (logged) and nothing is returned; a missing one is empty.
    QList<HeardTitle> load();
    bool append(const HeardTitle &line);
    // Writes the lines as the whole file, through a new file renamed over the old one.
    bool rewrite(const QList<HeardTitle> &lines);
    // The path a damaged file was moved to by the last load(), or empty.
    QString movedAsideTo() const { return m_movedAside; }

private:
    void moveAside(const QString &why);

    QString m_path;
    QString m_movedAside;
};
