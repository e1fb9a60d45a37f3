#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include <unistd.h>

#include "ControlBar.h"
#include "DemoServerProcess.h"
#include "IcecastProcess.h"
#include "MediaPlayer.h"
#include "PlaybackController.h"
#include "PlayerRig.h"
#include "StreamRecorder.h"

using namespace Qt::StringLiterals;

namespace {

struct Probe
{
    double duration = -1;
    QStringList streams; // codec types: "audio", "video"
};

// What ffprobe reads in a file: the test of a file that plays.
Probe probe(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s, { u"-v"_s, u"error"_s, u"-show_entries"_s, u"format=duration:stream=codec_type"_s,
                                  u"-of"_s, u"json"_s, path });
    Probe p;
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return p;
    const QJsonObject json = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    p.duration = json.value(u"format"_s).toObject().value(u"duration"_s).toString().toDouble();
    for (const QJsonValue &s : json.value(u"streams"_s).toArray())
        p.streams << s.toObject().value(u"codec_type"_s).toString();
    return p;
}

// Waits until the stream has played `seconds` more, on its own clock.
bool playsOn(PlayerRig &rig, double seconds)
{
    const double from = rig.playbackTime;
    return QTest::qWaitFor([&] { return rig.playbackTime >= from + seconds; }, int(seconds * 1000) + 15000);
}

} // namespace

// Recording writes what the station sends, as it arrives, into the music
// folder: one file per title, each of which plays for as long as it was
// recorded; it ends with the stream, and stops in time on a full disk.
class TestRecording : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void aStationIsRecordedOneFilePerTitle();
    void theTvStreamIsRecordedAsItArrives();
    void recordingEndsWithTheStream();
    void recordingEndsWhenTheStationGoesAndAtClose();
    void aFolderItCannotWriteSaysSo();
    void aFullDiskStopsTheRecordingNotThePlaying();

private:
    QTemporaryDir m_music;
    IcecastProcess m_icecast;
    DemoServerProcess m_demo;
};

void TestRecording::initTestCase()
{
    QVERIFY(m_music.isValid());
    QVERIFY2(m_icecast.start(), qPrintable(m_icecast.errorString()));
    QVERIFY2(m_icecast.startSource(u"/live.mp3"_s, IcecastProcess::Codec::Mp3, u"第一首"_s),
             qPrintable(m_icecast.errorString()));
    QVERIFY(m_demo.start());
}

void TestRecording::aStationIsRecordedOneFilePerTitle()
{
    PlayerRig rig;
    StreamRecorder *recorder = rig.player->recorder();
    recorder->setFolder(m_music.filePath(u"Lumora"_s));
    auto *button = rig.player->controlBar()->findChild<QToolButton *>(u"record"_s);
    auto *shown = rig.player->controlBar()->findChild<QLabel *>(u"recorded"_s);
    QVERIFY(button && shown);
    QCOMPARE(button->accessibleName(), u"录音"_s);
    QVERIFY(button->toolTip().contains(u"R 键"_s));

    rig.player->open(NowPlaying{ u"测试台"_s, m_icecast.url(u"/live.mp3"_s) });
    QVERIFY(rig.plays(0.5));
    QTRY_COMPARE_WITH_TIMEOUT(rig.player->controller()->state().title(), u"第一首"_s, 10000);

    QElapsedTimer clock;
    button->click();
    clock.start();
    QVERIFY(recorder->isRecording());
    QCOMPARE(button->accessibleName(), u"停止录音"_s);
    QVERIFY(shown->isVisible());
    QVERIFY2(shown->text().startsWith(u"录音 0:0"_s), qPrintable(shown->text()));
    QCOMPARE(recorder->files().size(), 1);
    QVERIFY2(recorder->files().first().endsWith(u" 第一首.mp3"_s), qPrintable(recorder->files().first()));
    QVERIFY(QFileInfo(recorder->files().first()).fileName().startsWith(u"测试台 "_s));

    // Paused, it still records what the station sends (the files' length
    // below counts the pause).
    rig.player->controller()->pause();
    QTRY_VERIFY_WITH_TIMEOUT(rig.player->controller()->state().behindLiveSeconds() >= 2, 10000);
    rig.player->controller()->play();
    QVERIFY(playsOn(rig, 1.0));
    const qint64 firstMs = clock.elapsed();

    QVERIFY(m_icecast.setTitle(u"/live.mp3"_s, u"第二首/B面"_s));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->files().size(), 2, 15000);
    const qint64 secondStart = clock.elapsed();
    QVERIFY2(recorder->files().last().endsWith(u" 第二首 B面.mp3"_s), qPrintable(recorder->files().last()));
    QVERIFY(playsOn(rig, 3.0));
    const qint64 totalMs = clock.elapsed();
    button->click();
    QVERIFY(!recorder->isRecording());
    QVERIFY(!shown->isVisible());
    // The station plays on.
    QVERIFY(playsOn(rig, 0.5));

    // Each file plays for as long as it was recorded.
    const QStringList files = recorder->files();
    QTRY_VERIFY_WITH_TIMEOUT(probe(files.at(1)).duration > 0, 10000);
    QVERIFY(recorder->bytes() > 100000); // what the files hold
    const Probe first = probe(files.at(0));
    const Probe second = probe(files.at(1));
    QCOMPARE(first.streams, QStringList{ u"audio"_s });
    const double recorded = (first.duration + second.duration) * 1000;
    qInfo("files %.2f s + %.2f s, recorded %lld ms (the first title's part %lld ms)", first.duration, second.duration,
          totalMs, firstMs);
    QVERIFY2(qAbs(recorded - totalMs) < 1500,
             qPrintable(u"%1 + %2 s in files, %3 ms recorded"_s.arg(first.duration).arg(second.duration).arg(totalMs)));
    QVERIFY2(first.duration * 1000 > firstMs - 1500 && second.duration * 1000 > totalMs - secondStart - 1500,
             qPrintable(u"%1 s, %2 s"_s.arg(first.duration).arg(second.duration)));
}

void TestRecording::theTvStreamIsRecordedAsItArrives()
{
    PlayerRig rig;
    StreamRecorder *recorder = rig.player->recorder();
    recorder->setFolder(m_music.filePath(u"电视"_s));
    // Placed as a TV entry places it: with a picture.
    rig.player->setHeight(10500);
    rig.player->open(NowPlaying{ u"演示电视"_s, m_demo.url(u"/tv/1.ts"_s) });
    QVERIFY(rig.plays(0.5));
    recorder->start();
    QVERIFY(recorder->isRecording());
    QVERIFY(recorder->files().first().endsWith(u".ts"_s));
    QVERIFY(playsOn(rig, 3.0));
    recorder->stop();
    const QString file = recorder->files().first();
    QTRY_VERIFY_WITH_TIMEOUT(probe(file).duration > 2.0, 10000);
    const Probe tv = probe(file);
    QVERIFY2(tv.streams.contains(u"video"_s) && tv.streams.contains(u"audio"_s), qPrintable(tv.streams.join(u',')));
}

void TestRecording::recordingEndsWithTheStream()
{
    PlayerRig rig;
    StreamRecorder *recorder = rig.player->recorder();
    recorder->setFolder(m_music.filePath(u"换台"_s));
    // Nothing plays: nothing to record, and it says so.
    recorder->start();
    QVERIFY(!recorder->isRecording());
    QCOMPARE(recorder->problem(), StreamRecorder::Problem::NothingPlays);

    rig.player->open(NowPlaying{ u"演示一台"_s, m_demo.url(u"/radio/1.mp3"_s) });
    QVERIFY(rig.plays(0.5));
    recorder->start();
    QVERIFY(recorder->isRecording());
    QVERIFY(playsOn(rig, 2.0));
    // Another choice ends it; the file is complete.
    rig.player->open(NowPlaying{ u"演示二台"_s, m_demo.url(u"/radio/2.mp3"_s) });
    QVERIFY(!recorder->isRecording());
    QVERIFY(rig.plays(0.5));
    // (The station's first title may have started a second file.)
    QTRY_VERIFY_WITH_TIMEOUT(probe(recorder->files().last()).duration > 1.0, 10000);

    // So does a stop.
    recorder->start();
    QVERIFY(recorder->isRecording());
    QVERIFY(playsOn(rig, 1.0));
    rig.player->controller()->stop();
    QVERIFY(!recorder->isRecording());
    QTRY_VERIFY_WITH_TIMEOUT(probe(recorder->files().last()).duration > 0.5, 10000);
}

void TestRecording::recordingEndsWhenTheStationGoesAndAtClose()
{
    QVERIFY2(m_icecast.startSource(u"/gone.mp3"_s, IcecastProcess::Codec::Mp3, u"将离开"_s),
             qPrintable(m_icecast.errorString()));
    auto rig = std::make_unique<PlayerRig>();
    StreamRecorder *recorder = rig->player->recorder();
    recorder->setFolder(m_music.filePath(u"断流"_s));
    rig->player->open(NowPlaying{ u"将离开"_s, m_icecast.url(u"/gone.mp3"_s) });
    QVERIFY(rig->plays(0.5));
    recorder->start();
    QVERIFY(recorder->isRecording());
    QVERIFY(playsOn(*rig, 2.0));
    // The station goes: the recording ends with its stream, and what it wrote plays.
    QVERIFY(m_icecast.stopSource(u"/gone.mp3"_s));
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->isRecording(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(probe(recorder->files().last()).duration > 1.5, 10000);

    // The player closed while it records leaves a complete file.
    rig->player->open(NowPlaying{ u"演示一台"_s, m_demo.url(u"/radio/1.mp3"_s) });
    QVERIFY(rig->plays(0.5));
    recorder->start();
    QVERIFY(recorder->isRecording());
    QVERIFY(playsOn(*rig, 2.0));
    const QString last = recorder->files().last();
    rig.reset();
    QTRY_VERIFY_WITH_TIMEOUT(probe(last).duration > 1.5, 10000);
}

void TestRecording::aFolderItCannotWriteSaysSo()
{
    PlayerRig rig;
    StreamRecorder *recorder = rig.player->recorder();
    // A folder under a file can never be made, not even by root.
    QFile blocker(m_music.filePath(u"not-a-folder"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    recorder->setFolder(blocker.fileName() + u"/Lumora"_s);
    rig.player->open(NowPlaying{ u"演示一台"_s, m_demo.url(u"/radio/1.mp3"_s) });
    QVERIFY(rig.plays(0.5));
    recorder->start();
    QVERIFY(!recorder->isRecording());
    QCOMPARE(recorder->problem(), StreamRecorder::Problem::FolderUnwritable);
    QCOMPARE(rig.player->controlBar()->findChild<QLabel *>(u"recorded"_s)->text(), u"无法录音:文件夹不可写"_s);
    QVERIFY(playsOn(rig, 0.5));
}

void TestRecording::aFullDiskStopsTheRecordingNotThePlaying()
{
    if (geteuid() != 0)
        QSKIP("a small disk of its own needs root to mount");
    QTemporaryDir mount;
    const qint64 size = StreamRecorder::kReserveBytes + 2 * 1024 * 1024;
    QCOMPARE(QProcess::execute(u"mount"_s, { u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=%1"_s.arg(size), u"lumora-test"_s,
                                             mount.path() }), 0);
    auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, { mount.path() }); });

    PlayerRig rig;
    StreamRecorder *recorder = rig.player->recorder();
    recorder->setFolder(mount.path());
    rig.player->open(NowPlaying{ u"演示一台"_s, m_demo.url(u"/radio/1.mp3"_s) });
    QVERIFY(rig.plays(0.5));
    recorder->start();
    QVERIFY(recorder->isRecording());
    QVERIFY(playsOn(rig, 1.0));
    // Something else fills the disk.
    QFile filler(mount.filePath(u"filler"_s));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    filler.write(QByteArray(int(QStorageInfo(mount.path()).bytesAvailable() - 1024 * 1024), 'x'));
    filler.close();
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->isRecording(), 5000);
    QCOMPARE(recorder->problem(), StreamRecorder::Problem::DiskFull);
    QCOMPARE(rig.player->controlBar()->findChild<QLabel *>(u"recorded"_s)->text(), u"录音已停止:磁盘空间不足"_s);
    QVERIFY(playsOn(rig, 1.0));
    QTRY_VERIFY_WITH_TIMEOUT(probe(recorder->files().last()).duration > 0.5, 10000);
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
