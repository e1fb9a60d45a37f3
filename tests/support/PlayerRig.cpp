#include "PlayerRig.h"

#include <QTest>

#include "DesktopIntegration.h"
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
    desktop = std::make_unique<DesktopIntegration>(
        WindowActions{ &host, [this] { host.show(); host.raise(); host.activateWindow(); }, [this] { host.close(); } },
        *player->controller());
    host.show();
    QMetaObject::invokeMethod(desktop.get(), &DesktopIntegration::join, Qt::QueuedConnection);
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    if (options.waitForEngine)
        QVERIFY(player->controller()->ensureEngine());
    watchPlaybackTime();
}

PlayerRig::~PlayerRig()
{
    // Off the bus before the controller it follows goes.
    desktop.reset();
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
