#include "MprisPlayer.h"

#include <algorithm>
#include <cmath>

#include <QDBusObjectPath>
#include <QMetaObject>

#include "MediaPlayer.h"
#include "PlaybackController.h"

namespace {

using State = PlayerState::State;

// Where the program writes the entry's name in its caption.
constexpr auto kNowPlaying = u" 正在播放:";

}

MprisPlayer::MprisPlayer(QObject *object, MediaPlayer &player, std::function<void()> changed)
    : QDBusAbstractAdaptor(object)
    , m_player(player)
    , m_changed(std::move(changed))
{
    connect(&player, &MediaPlayer::urlChanged, this, &MprisPlayer::onUrlChanged);
    if (chosen())
        QMetaObject::invokeMethod(this, &MprisPlayer::onUrlChanged, Qt::QueuedConnection);
}

bool MprisPlayer::chosen() const
{
    return !m_player.URL().trimmed().isEmpty();
}

QString MprisPlayer::playbackStatus() const
{
    const PlayerState &state = m_player.controller()->state();
    if (state.state() == State::Paused)
        return QStringLiteral("Paused");
    return state.isActive() ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap MprisPlayer::metadata() const
{
    if (!chosen())
        return { { QStringLiteral("mpris:trackid"),
            QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))) } };
    const QString address = m_player.URL().trimmed();
    const QString name = m_name.isEmpty() ? address : m_name;
    const QString title = m_player.controller()->state().title();
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
    return m_player.controller()->state().volume() / 100.0;
}

void MprisPlayer::setVolume(double volume)
{
    if (std::isnan(volume))
        return;
    m_player.controller()->setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
}

void MprisPlayer::Play()
{
    if (!m_player.controller()->state().isActive())
        m_player.controller()->togglePause();
}

void MprisPlayer::Pause()
{
    const State state = m_player.controller()->state().state();
    if (state == State::Playing || state == State::Buffering)
        m_player.controller()->togglePause();
}

void MprisPlayer::PlayPause()
{
    m_player.controller()->togglePause();
}

void MprisPlayer::Stop()
{
    m_player.controller()->stop();
}

void MprisPlayer::onUrlChanged()
{
    ++m_track;
    m_name.clear();
    m_changed();
    // The program writes the caption right after the address.
    QMetaObject::invokeMethod(this, &MprisPlayer::readEntryName, Qt::QueuedConnection);
}

void MprisPlayer::readEntryName()
{
    QString caption = m_player.window()->windowTitle();
    caption.replace(QLatin1String("[*][*]"), QLatin1String("[*]"));
    const qsizetype at = caption.indexOf(kNowPlaying);
    m_name = at < 0 ? QString() : caption.mid(at + qsizetype(std::char_traits<char16_t>::length(kNowPlaying)));
    m_changed();
}
