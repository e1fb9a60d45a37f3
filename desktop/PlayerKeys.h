#pragma once

#include <QObject>

class PlaybackController;
class QKeyEvent;

// The player's keys in its window: Space plays or pauses, M mutes, Up and
// Down (and + and -) change the volume by 5, H asks for the song history, R
// for recording to start or stop, L goes back to live after a pause, and
// the media keys do what they say where the platform delivers them to the
// window. Only keys that nothing
// in the window took for itself reach the player: a focused button still
// takes Space, the volume slider its arrows. The menus keep no keys.
class PlayerKeys : public QObject
{
    Q_OBJECT

public:
    static constexpr int kVolumeStep = 5;

    // Watches window's keys for as long as this object lives.
    PlayerKeys(QObject &window, PlaybackController &controller, QObject *parent = nullptr);

    // Does what key asks of the player; false for a key that is not the player's.
    bool handle(const QKeyEvent &key);

Q_SIGNALS:
    void historyRequested();
    void recordRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QObject &m_window;
    PlaybackController &m_controller;
};
