#include "PlayerSettings.h"

PlayerSettings::PlayerSettings(QObject *parent)
    : QObject(parent)
{
}

void PlayerSettings::setVolume(int volume)
{
    volume = qBound(0, volume, 100);
    if (volume == m_volume)
        return;
    m_volume = volume;
    Q_EMIT volumeChanged(volume);
}

void PlayerSettings::setMute(bool mute)
{
    if (mute == m_mute)
        return;
    m_mute = mute;
    Q_EMIT muteChanged(mute);
}
