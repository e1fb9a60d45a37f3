#pragma once

#include <QObject>

class PlaybackController;

// The player's settings object as the window sets it: the volume on a 0..100
// scale, where 100 is the stream's own loudness, and mute. It holds nothing
// itself; both live in the player's state (PlayerState), which signals their
// changes.
class PlayerSettings : public QObject
{
    Q_OBJECT

public:
    explicit PlayerSettings(PlaybackController &controller, QObject *parent = nullptr);

    int volume() const;
    void setVolume(int volume);
    bool mute() const;
    void setMute(bool mute);

private:
    PlaybackController &m_controller;
};
