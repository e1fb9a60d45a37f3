#include "PlayerSettings.h"

#include "PlaybackController.h"

PlayerSettings::PlayerSettings(PlaybackController &controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
{
}

int PlayerSettings::volume() const
{
    return m_controller.state().volume();
}

void PlayerSettings::setVolume(int volume)
{
    m_controller.setVolume(volume);
}

bool PlayerSettings::mute() const
{
    return m_controller.state().mute();
}

void PlayerSettings::setMute(bool mute)
{
    m_controller.setMute(mute);
}
