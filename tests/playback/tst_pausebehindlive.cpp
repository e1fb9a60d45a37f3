#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "ControlBar.h"
#include "DemoServerProcess.h"
#include "MediaPlayer.h"
#include "PlaybackController.h"
#include "PlayerRig.h"

using namespace Qt::StringLiterals;

namespace {

// The demonstration stations name a new "song" every five seconds:
// "演示一台 - 第 N 首". N, or 0 for no such title.
int songNumber(const QString &title)
{
    static const QRegularExpression song(u"第 (\\d+) 首$"_s);
    const QRegularExpressionMatch match = song.match(title);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace

// Pause on a live station keeps what the station sends: play goes on where it
// paused, the bar says how far behind live it plays, and going back to live
// jumps to what is sent now. Checked on the stream's own clock (libmpv's
// playback time), which a live stream advances only by playing.
class TestPauseBehindLive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void playGoesOnWherePausedThenBackToLive();
    void theOldestPartGoesWhenTheBufferIsFull();
    void aFileIsPausedAsEver();

private:
    DemoServerProcess m_server;
};

void TestPauseBehindLive::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestPauseBehindLive::playGoesOnWherePausedThenBackToLive()
{
    PlayerRig rig;
    PlaybackController *controller = rig.player->controller();
    const PlayerState &state = controller->state();
    auto *behind = rig.player->controlBar()->findChild<QLabel *>(u"behindLive"_s);
    auto *goLive = rig.player->controlBar()->findChild<QToolButton *>(u"goLive"_s);
    QVERIFY(behind && goLive);
    QCOMPARE(goLive->accessibleName(), u"回到直播"_s);
    QVERIFY(goLive->toolTip().contains(u"L 键"_s));

    rig.player->open(NowPlaying{ u"演示一台"_s, m_server.url(u"/radio/1.mp3"_s) });
    QVERIFY(rig.plays(1.0));
    QVERIFY(!behind->isVisible());
    controller->pause();
    QTRY_COMPARE(state.state(), PlayerState::State::Paused);
    const double pausedAt = rig.playbackTime;

    // The station goes on; the bar counts how far behind it the player is.
    QTRY_VERIFY_WITH_TIMEOUT(state.behindLiveSeconds() >= 8, 15000);
    QVERIFY(behind->isVisible() && goLive->isVisible());
    QVERIFY2(behind->text().startsWith(u"落后直播 0:0"_s), qPrintable(behind->text()));
    const int held = state.behindLiveSeconds();

    // Play: on from where it paused, not from what the station sends now.
    controller->play();
    QVERIFY(rig.plays(0.5));
    QVERIFY2(rig.playbackTime < pausedAt + 3.0, qPrintable(u"%1 → %2"_s.arg(pausedAt).arg(rig.playbackTime)));
    QVERIFY(state.behindLiveSeconds() >= held);
    QVERIFY(behind->isVisible());

    // Back to live: the position jumps by what was held, the bar clears.
    const double before = rig.playbackTime;
    const int songBefore = songNumber(state.title());
    QVERIFY2(songBefore > 0, qPrintable(state.title()));
    goLive->click();
    QTRY_COMPARE(state.behindLiveSeconds(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(rig.playbackTime > before + held - 1.5, 10000);
    // Seven seconds or more later in the programme, a later song: its title
    // is shown as the jump lands, not the one of the song left behind.
    QTRY_VERIFY2_WITH_TIMEOUT(songNumber(state.title()) > songBefore,
                              qPrintable(u"%1, after %2"_s.arg(state.title()).arg(songBefore)), 1000);
    QVERIFY(rig.plays(0.5));
    QVERIFY(!behind->isVisible() && !goLive->isVisible());
    QVERIFY(!controller->liveBuffer().isHolding());
    // What was held is given back.
    QTRY_VERIFY(!controller->liveBuffer().isEnlarged());
}

void TestPauseBehindLive::theOldestPartGoesWhenTheBufferIsFull()
{
    PlayerRig rig;
    PlaybackController *controller = rig.player->controller();
    const PlayerState &state = controller->state();
    controller->setLiveLimits({ 3.0, 64ll * 1024 * 1024 });
    rig.player->open(NowPlaying{ u"演示二台"_s, m_server.url(u"/radio/2.mp3"_s) });
    QVERIFY(rig.plays(1.0));
    controller->pause();
    QTRY_COMPARE(state.state(), PlayerState::State::Paused);
    const double pausedAt = rig.playbackTime;
    // Full after 3 s: the oldest part goes, so the paused position moves on
    // while what is held stays within the limit.
    QTRY_VERIFY_WITH_TIMEOUT(rig.playbackTime > pausedAt + 2.0, 20000);
    QVERIFY2(state.behindLiveSeconds() <= 4, qPrintable(QString::number(state.behindLiveSeconds())));
    QCOMPARE(state.state(), PlayerState::State::Paused);
    // Play starts from the oldest part kept, still behind live.
    const double oldestKept = rig.playbackTime;
    controller->play();
    QVERIFY(rig.plays(0.5));
    QVERIFY(rig.playbackTime < oldestKept + 2.5);
    QVERIFY(state.isBehindLive());
    // Another choice is live, and gives the memory back.
    rig.player->open(NowPlaying{ u"演示三台"_s, m_server.url(u"/radio/3.mp3"_s) });
    QVERIFY(!state.isBehindLive());
    QVERIFY(!controller->liveBuffer().isHolding());
    QVERIFY(rig.plays(0.5));
}

void TestPauseBehindLive::aFileIsPausedAsEver()
{
    // What can seek anyway is no live stream: nothing is held or said.
    QTemporaryDir dir;
    const QString clip = dir.filePath(u"clip.mp3"_s);
    QCOMPARE(QProcess::execute(u"ffmpeg"_s, { u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                                              u"sine=frequency=440:duration=20"_s, clip }), 0);
    PlayerRig rig;
    PlaybackController *controller = rig.player->controller();
    rig.player->open(NowPlaying{ u"点播"_s, clip });
    QVERIFY(rig.plays(0.5));
    controller->pause();
    QTRY_COMPARE(controller->state().state(), PlayerState::State::Paused);
    QTest::qWait(1500);
    QVERIFY(!controller->liveBuffer().isHolding());
    QCOMPARE(controller->state().behindLiveSeconds(), 0);
}

QTEST_MAIN(TestPauseBehindLive)
#include "tst_pausebehindlive.moc"
