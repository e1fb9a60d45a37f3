#pragma once

#include <memory>

#include <QWidget>

#include "PlayerState.h"

class DesktopIntegration;
class MediaPlayer;

// One player in a window of its own, placed as the main window places it,
// with its desktop integration as the program has it, a null audio output
// unless told otherwise, watching libmpv's playback-time.
class PlayerRig
{
public:
    struct Options
    {
        double networkTimeoutSeconds = 5.0;
        // Create the engine before returning, as most tests want; otherwise
        // it is prepared in the background as in the program.
        bool waitForEngine = true;
        // libmpv's audio output: "null", or "pulse" to play into the
        // session's sink where a test listens to what is heard.
        QString audioOutput = QStringLiteral("null");
    };

    PlayerRig();
    explicit PlayerRig(const Options &options);
    ~PlayerRig();

    PlayerState::State state() const;
    // Waits until the player is Playing and the stream's playback time has
    // moved on by `seconds` since it was first seen playing.
    bool plays(double seconds = 1.0, int timeoutMs = 15000);
    // Starts watching the playback time once the engine exists.
    void watchPlaybackTime();

    QWidget host;
    MediaPlayer *player = nullptr;
    // Joined once the host is shown, as the main window does.
    std::unique_ptr<DesktopIntegration> desktop;
    double playbackTime = -1;

private:
    bool m_watching = false;
};
