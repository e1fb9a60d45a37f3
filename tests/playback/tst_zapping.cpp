// Choosing one station after another: each new choice plays on a fresh
// libmpv handle while the old one is silenced and ended on a worker thread.
// However fast the choices come, the last one plays, nothing of the others is
// heard with it, and no handle or thread is left behind.

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "DemoServerProcess.h"
#include "MediaPlayer.h"
#include "MpvCore.h"
#include "PlaybackController.h"
#include "PlayerRig.h"

using State = PlayerState::State;

namespace {

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

// The sound server's streams of this process, and how many of them are not
// corked (can be heard).
struct SinkInputs
{
    int ours = 0;
    int uncorked = 0;
    bool listed = false;
};

SinkInputs sinkInputs()
{
    QProcess pactl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    pactl.setProcessEnvironment(env);
    pactl.start(QStringLiteral("pactl"), { QStringLiteral("list"), QStringLiteral("sink-inputs") });
    SinkInputs inputs;
    if (!pactl.waitForFinished(10000) || pactl.exitCode() != 0)
        return inputs;
    inputs.listed = true;
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString out = QString::fromUtf8(pactl.readAllStandardOutput());
    for (const QString &block : out.split(QRegularExpression(QStringLiteral("\n(?=Sink Input #)")))) {
        if (!block.contains(QStringLiteral("application.process.id = \"%1\"").arg(pid)))
            continue;
        ++inputs.ours;
        if (block.contains(QLatin1String("Corked: no")))
            ++inputs.uncorked;
    }
    return inputs;
}

}

class TestZapping : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.start()); }

    void lastChoicePlaysAndNothingIsLeft_data()
    {
        QTest::addColumn<int>("choices");
        QTest::addColumn<int>("intervalMs");
        // Ten a second for half a minute: a spare is ready for most choices.
        QTest::newRow("ten a second") << 300 << 100;
        // Faster than a spare can be made: the rest go to the engine in use.
        QTest::newRow("back to back") << 100 << 0;
    }

    void lastChoicePlaysAndNothingIsLeft()
    {
        QFETCH(int, choices);
        QFETCH(int, intervalMs);
        PlayerRig rig;
        MpvCore *core = rig.player->controller()->core();
        QString path;
        core->observe("path", MPV_FORMAT_STRING);
        connect(core, &MpvCore::propertyChanged, core, [&](const QString &name, const QVariant &value) {
            if (name == QLatin1String("path"))
                path = value.toString();
        });
        int replaced = 0;
        connect(core, &MpvCore::engineReplaced, core, [&] { ++replaced; });

        rig.player->setURL(m_server.url(QStringLiteral("/radio/1.mp3")));
        QVERIFY2(rig.plays(0.5), qPrintable(rig.player->statusText()));
        // One handle plays, one waits.
        QTRY_VERIFY_WITH_TIMEOUT(core->hasSpare(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(MpvCore::handlesAlive(), 2, 10000);
        const int threadsBefore = threadCount();

        QString last;
        for (int i = 0; i < choices; ++i) {
            last = m_server.url(QStringLiteral("/radio/%1.mp3").arg(2 + i % 7));
            rig.player->setURL(last);
            QTest::qWait(intervalMs);
        }
        QVERIFY2(rig.plays(1.0), qPrintable(rig.player->statusText()));
        QCOMPARE(rig.player->controller()->address(), last);
        QCOMPARE(path, last);
        QVERIFY(replaced > 0);
        // Every replaced handle is destroyed, and its threads with it.
        QTRY_COMPARE_WITH_TIMEOUT(MpvCore::handlesAlive(), 2, 30000);
        QTRY_VERIFY2_WITH_TIMEOUT(threadCount() <= threadsBefore,
            qPrintable(QStringLiteral("%1 threads, %2 before").arg(threadCount()).arg(threadsBefore)), 30000);
        // The rest of this core's life happens on the still-running engine.
        rig.player->setURL(QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), State::Stopped, 5000);
    }

    // What ffmpeg says of a failing stream reaches the player whichever
    // handle the stream opened on.
    void failureAfterAStationTellsItsReason_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("status");
        QTest::newRow("404") << m_server.url(QStringLiteral("/fail/404")) << QStringLiteral("无法播放:未找到(404)");
        QTest::newRow("500") << m_server.url(QStringLiteral("/fail/500")) << QStringLiteral("无法播放:服务器错误(500)");
        QTest::newRow("refused")
            << QStringLiteral("http://127.0.0.1:%1/radio/1.mp3").arg(DemoServerProcess::closedPort())
            << QStringLiteral("无法播放:连接被拒绝");
    }

    void failureAfterAStationTellsItsReason()
    {
        QFETCH(QString, address);
        QFETCH(QString, status);
        // An engine made earlier that stays idle, as one still being
        // destroyed does: libmpv would hand ffmpeg's messages to it.
        MpvCore::Options options;
        options.audioOutput = QStringLiteral("null");
        MpvCore elder(options);
        QVERIFY(elder.isValid());
        PlayerRig rig;
        MpvCore *core = rig.player->controller()->core();
        for (int i = 1; i <= 3; ++i) {
            rig.player->setURL(m_server.url(QStringLiteral("/radio/%1.mp3").arg(i)));
            QVERIFY2(rig.plays(0.3), qPrintable(rig.player->statusText()));
            QTRY_VERIFY_WITH_TIMEOUT(core->hasSpare(), 10000);
        }
        rig.player->setURL(address);
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->statusText(), status, 15000);
    }

    // The sound server hears one station at a time: when the new choice
    // plays, the old stream is corked or gone, and once the old handle is
    // destroyed its stream is gone too.
    void oldSoundStopsAtTheClick()
    {
        if (!sinkInputs().listed)
            QSKIP("no sound server in this session");
        PlayerRig::Options options;
        options.audioOutput = QStringLiteral("pulse");
        PlayerRig rig(options);
        MpvCore *core = rig.player->controller()->core();
        rig.player->setURL(m_server.url(QStringLiteral("/radio/1.mp3")));
        QVERIFY2(rig.plays(0.5), qPrintable(rig.player->statusText()));
        QTRY_COMPARE_WITH_TIMEOUT(sinkInputs().uncorked, 1, 10000);

        for (int i = 2; i <= 6; ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(core->hasSpare(), 10000);
            SinkInputs whenPlaying;
            auto c = connect(&rig.player->controller()->state(), &PlayerState::stateChanged, core, [&](State state) {
                if (state == State::Playing && !whenPlaying.listed)
                    whenPlaying = sinkInputs();
            });
            rig.player->setURL(m_server.url(QStringLiteral("/radio/%1.mp3").arg(i)));
            QVERIFY2(rig.plays(0.5), qPrintable(rig.player->statusText()));
            disconnect(c);
            QVERIFY(whenPlaying.listed);
            QVERIFY2(whenPlaying.uncorked <= 1,
                qPrintable(QStringLiteral("%1 streams heard at once").arg(whenPlaying.uncorked)));
            QTRY_COMPARE_WITH_TIMEOUT(sinkInputs().ours, 1, 10000);
            QCOMPARE(sinkInputs().uncorked, 1);
        }
    }

private:
    DemoServerProcess m_server;
};

QTEST_MAIN(TestZapping)
#include "tst_zapping.moc"
