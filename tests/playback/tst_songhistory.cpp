#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include "HistoryFile.h"
#include "SongHistory.h"

using namespace Qt::StringLiterals;

namespace {

QDateTime at(int minute)
{
    return QDateTime(QDate(2026, 12, 10), QTime(8, minute), QTimeZone(8 * 3600));
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList titles(SongHistory &history)
{
    QStringList out;
    for (const HeardTitle &line : history.lines())
        out.append(line.station + u'|' + line.title);
    return out;
}

} // namespace

// The song history: what is a new line, what the file holds, and what
// happens to a file that is not one.
class TestSongHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_dir.isValid()); m_path = m_dir.filePath(u"h%1/history.tsv"_s.arg(++m_n)); }

    void whatIsANewLine_data();
    void whatIsANewLine();
    void fileFormatAndRestart();
    void capKeepsTheNewest();
    void damagedFilesAreMovedAside_data();
    void damagedFilesAreMovedAside();
    void lastLineCutShortByACrash();
    void clearEmptiesTheFile();

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_n = 0;
};

void TestSongHistory::whatIsANewLine_data()
{
    QTest::addColumn<QStringList>("heard"); // "station|title", in order
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("repeat of the same title") << QStringList{ u"A|one"_s, u"A|one"_s, u"A|one"_s }
                                              << QStringList{ u"A|one"_s };
    QTest::newRow("a title coming back after another")
        << QStringList{ u"A|one"_s, u"A|two"_s, u"A|one"_s } << QStringList{ u"A|one"_s, u"A|two"_s, u"A|one"_s };
    QTest::newRow("empty and blank titles") << QStringList{ u"A|"_s, u"A|   "_s, u"A|one"_s }
                                            << QStringList{ u"A|one"_s };
    QTest::newRow("the entry's own name is not a song")
        << QStringList{ u"中国之声|中国之声"_s, u"中国之声|新闻"_s, u"中国之声|中国之声"_s, u"中国之声|新闻"_s }
        << QStringList{ u"中国之声|新闻"_s };
    QTest::newRow("the same title on another station") << QStringList{ u"A|one"_s, u"B|one"_s }
                                                       << QStringList{ u"A|one"_s, u"B|one"_s };
    QTest::newRow("tabs and line breaks become blanks")
        << QStringList{ u"A|one\ttwo\r\nthree"_s, u"A|one two  three"_s } << QStringList{ u"A|one two  three"_s };
}

void TestSongHistory::whatIsANewLine()
{
    QFETCH(QStringList, heard);
    QFETCH(QStringList, kept);
    SongHistory history(m_path);
    QSignalSpy added(&history, &SongHistory::added);
    int minute = 0;
    for (const QString &h : heard)
        history.heard(h.section(u'|', 0, 0), h.section(u'|', 1), at(minute++));
    QCOMPARE(titles(history), kept);
    QCOMPARE(added.size(), kept.size());
    QCOMPARE(fileLines(m_path).size(), kept.size());
}

void TestSongHistory::fileFormatAndRestart()
{
    {
        SongHistory history(m_path);
        history.heard(u"中国之声"_s, u"歌手 - 歌名"_s, at(1));
        history.heard(u"音乐之声"_s, u"Song\tWith Tab"_s, at(2));
        // Appended and flushed at once: the file holds the line before anything else happens.
        QCOMPARE(fileLines(m_path),
                 QStringList({ u"2026-12-10T08:01:00+08:00\t中国之声\t歌手 - 歌名"_s,
                               u"2026-12-10T08:02:00+08:00\t音乐之声\tSong With Tab"_s }));
    }
    SongHistory again(m_path);
    QCOMPARE(titles(again), QStringList({ u"中国之声|歌手 - 歌名"_s, u"音乐之声|Song With Tab"_s }));
    QCOMPARE(again.lines().first().time, at(1));
    // The title that was last before the restart does not come again as new.
    again.heard(u"音乐之声"_s, u"Song With Tab"_s, at(3));
    QCOMPARE(again.lines().size(), 2);
}

void TestSongHistory::capKeepsTheNewest()
{
    {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < SongHistory::kMaxLines + 10; ++i)
            file.write(u"2026-12-10T08:00:00+08:00\tA\t第 %1 首\n"_s.arg(i).toUtf8());
    }
    SongHistory history(m_path);
    QCOMPARE(history.lines().size(), SongHistory::kMaxLines);
    QCOMPARE(history.lines().first().title, u"第 10 首"_s);
    QCOMPARE(fileLines(m_path).size(), SongHistory::kMaxLines);

    QSignalSpy reset(&history, &SongHistory::reset);
    history.heard(u"A"_s, u"新的一首"_s, at(5));
    QCOMPARE(reset.size(), 1);
    const QStringList lines = fileLines(m_path);
    QCOMPARE(lines.size(), SongHistory::kMaxLines);
    QVERIFY(lines.first().endsWith(u"第 11 首"_s));
    QVERIFY(lines.last().endsWith(u"新的一首"_s));
}

void TestSongHistory::damagedFilesAreMovedAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not UTF-8") << QByteArray("2026-12-10T08:00:00+08:00\tA\t\xd6\xd0\xce\xc4\n");
    QTest::newRow("two fields") << QByteArray("2026-12-10T08:00:00+08:00\tA\none\n2026-12-10T08:00:00+08:00\tA\tb\n");
    QTest::newRow("no time") << QByteArray("yesterday\tA\tone\n");
    QTest::newRow("time without offset") << QByteArray("2026-12-10T08:00:00\tA\tone\n");
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xff\n\x00\n", 7);
}

void TestSongHistory::damagedFilesAreMovedAside()
{
    QFETCH(QByteArray, content);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"歌曲记录已损坏.*已移到"_s));
    SongHistory history(m_path);
    QVERIFY(history.lines().isEmpty());
    // What was there is kept beside it, byte for byte, and the history starts afresh.
    const QStringList aside = QDir(QFileInfo(m_path).absolutePath()).entryList({ u"history.tsv.damaged-*"_s });
    QCOMPARE(aside.size(), 1);
    QFile kept(QFileInfo(m_path).absolutePath() + u'/' + aside.first());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
    history.heard(u"A"_s, u"one"_s, at(1));
    QCOMPARE(fileLines(m_path).size(), 1);
}

void TestSongHistory::lastLineCutShortByACrash()
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("2026-12-10T08:00:00+08:00\tA\tone\n2026-12-10T08:01");
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"最后一行不完整"_s));
    SongHistory history(m_path);
    QCOMPARE(titles(history), QStringList{ u"A|one"_s });
    QVERIFY(QDir(QFileInfo(m_path).absolutePath()).entryList({ u"*.damaged-*"_s }).isEmpty());
}

void TestSongHistory::clearEmptiesTheFile()
{
    SongHistory history(m_path);
    history.heard(u"A"_s, u"one"_s, at(1));
    QSignalSpy reset(&history, &SongHistory::reset);
    history.clear();
    QCOMPARE(reset.size(), 1);
    QVERIFY(history.lines().isEmpty());
    QVERIFY(fileLines(m_path).isEmpty());
    SongHistory again(m_path);
    QVERIFY(again.lines().isEmpty());
}

QTEST_GUILESS_MAIN(TestSongHistory)
#include "tst_songhistory.moc"
