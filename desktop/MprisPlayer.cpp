#include "MprisPlayer.h"

#include <algorithm>
#include <cmath>

#include <QDBusObjectPath>

#include "PlaybackController.h"

namespace {

using State = PlayerState::State;

}

MprisPlayer::MprisPlayer(QObject *object, PlaybackController &controller, std::function<void()> changed)
    : QDBusAbstractAdaptor(object)
    , m_controller(controller)
    , m_changed(std::move(changed))
{
    connect(&controller, &PlaybackController::nowPlayingChanged, this, &MprisPlayer::onChosen);
}

bool MprisPlayer::chosen() const
{
    return !m_controller.nowPlaying().address.trimmed().isEmpty();
}

QString MprisPlayer::playbackStatus() const
{
    const PlayerState &state = m_controller.state();
    if (state.state() == State::Paused)
        return QStringLiteral("Paused");
    return state.isActive() ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap MprisPlayer::metadata() const
{
    if (!chosen())
        return { { QStringLiteral("mpris:trackid"),
            QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))) } };
    const NowPlaying &entry = m_controller.nowPlaying();
    const QString address = entry.address.trimmed();
    const QString name = entry.name.isEmpty() ? address : entry.name;
    const QString title = m_controller.state().title();
    return {
        { QStringLiteral("mpris:trackid"),
            QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/lumora/track/%1").arg(m_track))) },
        { QStringLiteral("xesam:title"), title.isEmpty() ? name : title },
        // Where desktops show the artist and the album: the entry chosen.
        { QStringLiteral("xesam:artist"), QStringList { name } },
        { QStringLiteral("xesam:album"), name },
        { QStringLiteral("xesam:url"), address },
    };
}

double MprisPlayer::volume() const
{
    return m_controller.state().volume() / 100.0;
}

void MprisPlayer::setVolume(double volume)
{
    if (std::isnan(volume))
        return;
    m_controller.setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
}

void MprisPlayer::Play()
{
    m_controller.play();
}

void MprisPlayer::Pause()
{
    m_controller.pause();
}

void MprisPlayer::PlayPause()
{
    m_controller.togglePause();
}

void MprisPlayer::Stop()
{
    m_controller.stop();
}

void MprisPlayer::onChosen()
{
    ++m_track;
    m_changed();
}
