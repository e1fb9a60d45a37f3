#include "PlayerKeys.h"

#include <QKeyEvent>

#include "PlaybackController.h"

PlayerKeys::PlayerKeys(QObject &window, PlaybackController &controller, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_controller(controller)
{
    window.installEventFilter(this);
}

bool PlayerKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::KeyPress && handle(*static_cast<QKeyEvent *>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}

bool PlayerKeys::handle(const QKeyEvent &key)
{
    // Shortcuts with Ctrl or Alt belong to others.
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const PlayerState &state = m_controller.state();
    switch (key.key()) {
    case Qt::Key_Space:
    case Qt::Key_MediaTogglePlayPause:
        m_controller.togglePause();
        return true;
    case Qt::Key_MediaPlay:
        m_controller.play();
        return true;
    case Qt::Key_MediaPause:
        m_controller.pause();
        return true;
    case Qt::Key_MediaStop:
        m_controller.stop();
        return true;
    case Qt::Key_H:
        Q_EMIT historyRequested();
        return true;
    case Qt::Key_R:
        Q_EMIT recordRequested();
        return true;
    case Qt::Key_L:
        m_controller.goLive();
        return true;
    case Qt::Key_M:
    case Qt::Key_VolumeMute:
        m_controller.setMute(!state.mute());
        return true;
    case Qt::Key_Up:
    case Qt::Key_Plus:
    case Qt::Key_Equal:
    case Qt::Key_VolumeUp:
        m_controller.setVolume(state.volume() + kVolumeStep);
        return true;
    case Qt::Key_Down:
    case Qt::Key_Minus:
    case Qt::Key_VolumeDown:
        m_controller.setVolume(state.volume() - kVolumeStep);
        return true;
    default:
        return false;
    }
}
