#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "RecordingNames.h"

using namespace Qt::StringLiterals;

// What a recording's files are called and where they go.
class TestRecordingNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data();
    void names();
    void extensions_data();
    void extensions();
    void folderFollowsTheUsersMusicFolder();
};

void TestRecordingNames::names_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");
    QTest::newRow("entry only") << u"中国之声"_s << QString() << u"中国之声 2026-12-10 213005.mp3"_s;
    QTest::newRow("with the song") << u"音乐之声"_s << u"歌手 - 歌名"_s << u"音乐之声 2026-12-10 213005 歌手 - 歌名.mp3"_s;
    QTest::newRow("characters a name cannot hold")
        << u"AC/DC 台"_s << u"a:b*c?\"d<e>f|g\\h\ti"_s << u"AC DC 台 2026-12-10 213005 a b c d e f g h i.mp3"_s;
    QTest::newRow("hidden or option-like") << u"..电台"_s << u"-x"_s << u"电台 2026-12-10 213005 x.mp3"_s;
    QTest::newRow("no name at all") << u"///"_s << u"  "_s << u"录音 2026-12-10 213005.mp3"_s;
}

void TestRecordingNames::names()
{
    QFETCH(QString, entry);
    QFETCH(QString, title);
    QFETCH(QString, expected);
    const QDateTime time(QDate(2026, 12, 10), QTime(21, 30, 5));
    QCOMPARE(RecordingNames::fileName(entry, time, title, u"mp3"_s), expected);
}

void TestRecordingNames::extensions_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("ext");
    QTest::newRow("mp3") << u"mp3"_s << u"mp3"_s << u"mp3"_s;
    QTest::newRow("adts aac") << u"aac"_s << u"aac"_s << u"aac"_s;
    QTest::newRow("ogg vorbis") << u"ogg"_s << u"vorbis"_s << u"ogg"_s;
    QTest::newRow("ogg opus") << u"ogg"_s << u"opus"_s << u"opus"_s;
    QTest::newRow("tv") << u"mpegts"_s << u"aac"_s << u"ts"_s;
    QTest::newRow("hls") << u"hls"_s << u"aac"_s << u"ts"_s;
    QTest::newRow("wma") << u"asf"_s << u"wmav2"_s << u"wma"_s;
    QTest::newRow("unknown") << u"something"_s << u"pcm_s16le"_s << u"mka"_s;
}

void TestRecordingNames::extensions()
{
    QFETCH(QString, format);
    QFETCH(QString, codec);
    QFETCH(QString, ext);
    QCOMPARE(RecordingNames::extension(format, codec), ext);
}

void TestRecordingNames::folderFollowsTheUsersMusicFolder()
{
    // The music folder as xdg-user-dirs writes it (a Chinese desktop calls it 音乐), else ~/Music.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QCOMPARE(RecordingNames::folder(), QDir::homePath() + u"/Music/Lumora"_s);
    QFile dirs(config.filePath(u"user-dirs.dirs"_s));
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write("# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/\xe9\x9f\xb3\xe4\xb9\x90\"\n");
    dirs.close();
    QCOMPARE(RecordingNames::folder(), QDir::homePath() + u"/音乐/Lumora"_s);
}

QTEST_GUILESS_MAIN(TestRecordingNames)
#include "tst_recordingnames.moc"
