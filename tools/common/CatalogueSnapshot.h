#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include "ChannelEntry.h"

// The seventeen list files of one catalogue folder as the player loads them:
// read with the player's own ChannelCatalogue into menus held in memory, so
// that the entries, the count against each capacity and every line the
// loader has to say are exactly what the player would see and say.
class CatalogueSnapshot
{
public:
    struct Line
    {
        QtMsgType type; // QtInfoMsg for a note, QtWarningMsg for a problem
        QString text;   // as the loader words it, naming the file
    };

    struct File
    {
        QString listFile;  // "gb/ah.txt"
        QString arrayName; // "ah"
        int capacity = 0;
        QList<ChannelEntry> entries; // those loaded, in menu order
        QList<Line> lines;
        QString readError; // empty when the file was read to its end

        bool readable() const { return readError.isEmpty(); }
        // Whether the loader found anything wrong (a note alone is not).
        bool hasProblems() const;
    };

    // Loads the catalogue in folder, which is the working directory while it
    // loads and is restored afterwards. False (and error() says why) when the
    // folder cannot be entered; otherwise every file has its place in files(),
    // readable or not.
    bool load(const QString &folder);

    QString error() const { return m_error; }
    QString folder() const { return m_folder; }
    const QList<File> &files() const { return m_files; }
    // Lines about the whole catalogue rather than one file.
    const QList<Line> &catalogueLines() const { return m_catalogueLines; }
    // The file of that name ("tv.txt") or array ("tvlist"), or nullptr.
    const File *find(const QString &listFileOrArray) const;

private:
    QString m_error;
    QString m_folder;
    QList<File> m_files;
    QList<Line> m_catalogueLines;
};
