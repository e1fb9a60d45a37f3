// How the player gets its engine: libmpv is loaded on a worker thread once
// the window is on screen, and a station chosen meanwhile plays as soon as
// the engine is there. Each case needs a process in which libmpv has not
// been loaded yet, so this file holds one.

#include <cstdio>

#include <QTest>

#include "DemoServerProcess.h"
#include "LatencyProbe.h"
#include "MediaPlayer.h"
#include "MpvLibrary.h"
#include "PlaybackController.h"
#include "PlayerRig.h"

using State = PlayerState::State;

class TestEngineStart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.start()); }

    void aStationChosenWhileLoadingPlays()
    {
        QVERIFY(!MpvLibrary::isLoaded());
        PlayerRig rig(PlayerRig::Options{5.0, false});
        LatencyProbe probe;
        const bool loadedAtShow = MpvLibrary::isLoaded();

        // Two choices before the engine exists: the second one wins.
        rig.player->setURL(m_server.url(QStringLiteral("/fail/404")));
        rig.player->setURL(m_server.url(QStringLiteral("/radio/1.mp3")));
        if (!loadedAtShow)
            QCOMPARE(rig.state(), State::Opening);
        QVERIFY(QTest::qWaitFor([] { return MpvLibrary::isLoaded(); }, 20000));
        QVERIFY2(rig.plays(1.0), qPrintable(rig.player->statusText()));
        QCOMPARE(rig.player->controller()->address(), m_server.url(QStringLiteral("/radio/1.mp3")));
        // A figure, not a check: timings belong to the benchmarks.
        std::printf("libmpv %s loaded when the window was shown; worst UI-thread pause until playing: %lld ms\n",
                    loadedAtShow ? "already" : "not yet", probe.worstMs());
    }

    void laterPlayersFindTheEngineAtOnce()
    {
        PlayerRig rig(PlayerRig::Options{5.0, false});
        QVERIFY(QTest::qWaitFor([&] { return rig.player->controller()->core() != nullptr; }, 5000));
        rig.player->setURL(m_server.url(QStringLiteral("/radio/aac")));
        QVERIFY2(rig.plays(0.5), qPrintable(rig.player->statusText()));
    }

private:
    DemoServerProcess m_server;
};

QTEST_MAIN(TestEngineStart)
#include "tst_enginestart.moc"
