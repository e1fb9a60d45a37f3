#pragma once

#include <functional>

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The problems found in one list file, written through lcCatalogue when the
// file is done. However damaged the file, it gives at most ten lines and then
// one line with the number of problems left unlisted, so that a file of a
// hundred thousand bad records neither floods the terminal nor slows loading.
// Problems of the whole file (a note about its encoding, damaged bytes, too
// many records) are always among the ten; record problems fill the rest in
// file order.
class LoadReport
{
public:
    static constexpr int kMaxLines = 10;

    // Takes the lines instead of lcCatalogue, for a program that shows them
    // in its own way: the list file they are about, QtInfoMsg for a note or
    // QtWarningMsg for a problem, and the line exactly as it would be logged.
    using Sink = std::function<void(const QString &listFile, QtMsgType type, const QString &line)>;

    explicit LoadReport(const QString &listFile, Sink sink = {});

    // Said once at the start of the file's lines, as information.
    void note(const QString &text);
    // A problem of one record, in file order.
    void recordProblem(const QString &text);
    // Whether a further record problem would still be kept for listing.
    // Once ten are kept, a caller may count the rest with countRecordProblem()
    // and spare itself their texts: a file of a hundred thousand bad records
    // would otherwise cost a hundred thousand formatted lines nobody sees.
    bool keepsRecordProblems() const;
    void countRecordProblem();
    // A problem of the whole file, said after the record problems.
    void fileProblem(const QString &text);

    // Writes the lines and forgets them.
    void flush();

private:
    void write(QtMsgType type, const QString &line) const;

    QString m_listFile;
    Sink m_sink;
    QString m_prefix;
    QStringList m_notes;
    QStringList m_recordProblems; // the first kMaxLines only
    int m_recordProblemCount = 0;
    QStringList m_fileProblems;
};
