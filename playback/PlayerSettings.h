#pragma once

#include <QObject>

// The player's settings object: the volume on a 0..100 scale, where 100 is
// the stream's own loudness, and mute.
class PlayerSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool mute READ mute WRITE setMute NOTIFY muteChanged)

public:
    explicit PlayerSettings(QObject *parent = nullptr);

    int volume() const { return m_volume; }
    void setVolume(int volume);
    bool mute() const { return m_mute; }
    void setMute(bool mute);

Q_SIGNALS:
    void volumeChanged(int volume);
    void muteChanged(bool mute);

private:
    int m_volume = 50;
    bool m_mute = false;
};
