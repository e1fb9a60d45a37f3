#include "PlayerRig.h"

#include <QTest>

#include "MediaPlayer.h"
#include "MpvCore.h"
#include "PlaybackController.h"

PlayerRig::PlayerRig()
    : PlayerRig(Options())
{
}

PlayerRig::PlayerRig(const Options &options)
{
    MpvCore::Options engine;
    engine.audioOutput = options.audioOutput;
    engine.networkTimeoutSeconds = options.networkTimeoutSeconds;
    host.resize(600, 120);
    player = new MediaPlayer(&host, engine);
    player->setLeft(0);
    player->setTop(0);
    player->setWidth(8310);
    player->setHeight(975);
    QObject::connect(player->controller(), &PlaybackController::engineReady, &host, [this] { watchPlaybackTime(); });
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    if (options.waitForEngine)
        QVERIFY(player->controller()->ensureEngine());
    watchPlaybackTime();
}

void PlayerRig::watchPlaybackTime()
{
    MpvCore *core = player->controller()->core();
    if (m_watching || !core)
        return;
    m_watching = true;
    core->observe("playback-time", MPV_FORMAT_DOUBLE);
    QObject::connect(core, &MpvCore::propertyChanged, core, [this](const QString &name, const QVariant &v) {
        if (name == QLatin1String("playback-time"))
            playbackTime = v.isValid() ? v.toDouble() : -1;
    });
}

PlayerState::State PlayerRig::state() const
{
    return player->controller()->state().state();
}

bool PlayerRig::plays(double seconds, int timeoutMs)
{
    double first = -1;
    return QTest::qWaitFor(
        [&] {
            if (state() != PlayerState::State::Playing || playbackTime < 0)
                return false;
            if (first < 0)
                first = playbackTime;
            return playbackTime >= first + seconds;
        },
        timeoutMs);
}
