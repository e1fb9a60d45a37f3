#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Turns a playlist into records of one of the seventeen list files: reads
// what the file holds now with the player's own loader (so the room left is
// the room the player sees), makes every name and address fit a GBK record,
// leaves out duplicates, addresses the player refuses and what does not fit
// the capacity, and says every such decision in one line.
class Importer
{
public:
    enum ExitStatus
    {
        Done = 0,     // every entry written (duplicates left out on purpose)
        LeftOut = 1,  // written, but entries left out: capacity, unusable addresses
        Failed = 2,   // nothing written: no playlist, no such list file, cannot write
    };

    struct Request
    {
        QString folder = QStringLiteral(".");
        QString listFile;         // "tv.txt" or "tvlist", one of the seventeen
        QByteArray playlist;      // the playlist's bytes
        QString playlistLocation; // its file, for relative addresses; empty for standard input
        QString base;             // a URL or folder that relative addresses are resolved against
        QString encoding;         // of the playlist; empty to tell by itself
        QString group;            // only entries of this group-title, if not empty
        QString replacement = QString(QChar(u'\u25A1'));
        bool replace = false;     // instead of appending
        bool keepDuplicates = false;
    };

    struct Outcome
    {
        int status = Failed;
        QString target;        // the list file, relative to the folder
        int capacity = 0;
        int existing = 0;      // entries the file held, as the player loads them
        QStringList records;   // the new records, as text
        QByteArray content;    // the whole file as it is to be written
        QStringList messages;  // one line per decision, then the summary
        int written = 0;
        int leftOut = 0;       // for want of room
        int unusable = 0;
        int duplicates = 0;
    };

    static Outcome plan(const Request &request);
    // Writes outcome.content in place of the list file, whole or not at all.
    static bool write(const Request &request, const Outcome &outcome, QString *error);
};
