#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "ControlBar.h"
#include "DemoServerProcess.h"
#include "MediaPlayer.h"
#include "PlaybackController.h"
#include "PlayerRig.h"
#include "SleepTimer.h"
#include "SongHistory.h"
#include "SongHistoryWindow.h"

using namespace Qt::StringLiterals;

// What the player keeps for the listener, on a real player playing a real
// stream whose station changes its title every 5 s: the song history from the
// titles shown, its window from the control bar, and the sleep timer stopping
// the playing.
class TestListening : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void titlesGoIntoTheHistory();
    void sleepTimerStopsThePlaying();

private:
    QTemporaryDir m_data;
    DemoServerProcess m_server;
};

void TestListening::initTestCase()
{
    // The history file of this test alone.
    QVERIFY(m_data.isValid());
    qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
    QVERIFY(m_server.start());
}

void TestListening::titlesGoIntoTheHistory()
{
    PlayerRig rig;
    SongHistory *history = rig.player->songHistory();
    QCOMPARE(history->path(), m_data.path() + u"/lumora/history.tsv"_s);
    rig.player->open(NowPlaying{ u"演示一台"_s, m_server.url(u"/radio/1.mp3"_s) });
    QTRY_VERIFY_WITH_TIMEOUT(history->lines().size() >= 2, 20000);
    const QList<HeardTitle> lines = history->lines();
    QCOMPARE(lines.at(0).station, u"演示一台"_s);
    QVERIFY2(lines.at(0).title.startsWith(u"演示电台 1 - 第 "_s), qPrintable(lines.at(0).title));
    QVERIFY(lines.at(1).title != lines.at(0).title);
    QVERIFY(lines.at(0).time <= lines.at(1).time);

    // From the control bar: the window lists them, newest first.
    auto *button = rig.player->controlBar()->findChild<QToolButton *>(u"history"_s);
    QVERIFY(button);
    QCOMPARE(button->accessibleName(), u"歌曲记录"_s);
    QVERIFY(button->toolTip().contains(u"H 键"_s));
    button->click();
    SongHistoryWindow *window = rig.player->songHistoryWindow();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTableView *view = window->view();
    QCOMPARE(view->model()->rowCount(), int(history->lines().size()));
    QCOMPARE(view->model()->index(0, 2).data().toString(), history->lines().last().title);

    // Written as they came: another history on the same file reads the same.
    SongHistory again(history->path());
    QCOMPARE(again.lines().mid(0, 2), lines.mid(0, 2));
}

void TestListening::sleepTimerStopsThePlaying()
{
    PlayerRig rig;
    rig.player->open(NowPlaying{ u"演示二台"_s, m_server.url(u"/radio/2.mp3"_s) });
    QVERIFY(rig.plays(0.5));
    auto *shown = rig.player->controlBar()->findChild<QLabel *>(u"sleep"_s);
    QVERIFY(shown && !shown->isVisible());
    rig.player->sleepTimer()->start(30);
    QCOMPARE(shown->text(), u"还剩 30 分钟"_s);
    QVERIFY(shown->isVisible());
    // Another choice keeps the timer running.
    rig.player->open(NowPlaying{ u"演示三台"_s, m_server.url(u"/radio/3.mp3"_s) });
    QVERIFY(rig.plays(0.5));
    QVERIFY(rig.player->sleepTimer()->isActive());

    // A short one, already in its fade: the player stops and the window stays.
    rig.player->sleepTimer()->startFor(2000);
    QVERIFY(rig.player->sleepTimer()->volumeFactor() < 0.1);
    QTRY_COMPARE_WITH_TIMEOUT(rig.state(), PlayerState::State::Stopped, 10000);
    QVERIFY(!rig.player->sleepTimer()->isActive());
    QVERIFY(!shown->isVisible());
    QVERIFY(rig.host.isVisible());
    // The next station plays at the volume the user chose.
    QCOMPARE(rig.player->sleepTimer()->volumeFactor(), 1.0);
    rig.player->controller()->play();
    QVERIFY(rig.plays(0.5));
}

QTEST_MAIN(TestListening)
#include "tst_listening.moc"
