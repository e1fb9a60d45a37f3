#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

#include "WindowActions.h"

class IdleInhibitor;
class MprisService;
class PlaybackController;
class PlayerKeys;
class QDBusConnection;

// What the player does for the desktop: its keys in the window, and on the
// session bus (when there is one) its MPRIS media controls and the screen
// kept awake while it plays. It follows the controller's state and uses its
// intents; the application creates one per window and wires it.
class DesktopIntegration : public QObject
{
    Q_OBJECT

public:
    DesktopIntegration(WindowActions window, PlaybackController &controller, QObject *parent = nullptr);
    ~DesktopIntegration() override;

    // The keys at once; the bus connection on a worker thread, as connecting
    // waits for the bus daemon's answer.
    void join();

    // Null before join(), and the last two without a session bus.
    PlayerKeys *keys() const { return m_keys; }
    MprisService *mpris() const { return m_mpris; }
    IdleInhibitor *idleInhibitor() const { return m_inhibitor; }

Q_SIGNALS:
    // The user asked for the song history (its key).
    void historyRequested();
    // The user asked for recording to start or stop (its key).
    void recordRequested();
    // The session bus was reached and the media controls are there, or it could not be (false).
    void busJoined(bool connected);

private:
    void onBusConnected(const QDBusConnection &bus);

    WindowActions m_window;
    PlaybackController &m_controller;
    PlayerKeys *m_keys = nullptr;
    MprisService *m_mpris = nullptr;
    IdleInhibitor *m_inhibitor = nullptr;
    QString m_busConnection;
    // Waited for when this goes, so that its answer never outlives it, nor the application.
    QThreadPool m_busWorker;
};
