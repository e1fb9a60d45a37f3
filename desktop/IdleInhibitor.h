#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>

class PlaybackController;

// Keeps the desktop from idling while the player plays: while a stream with
// video plays the screen is not blanked (org.freedesktop.ScreenSaver), while
// only sound plays the machine is not suspended for idleness
// (org.freedesktop.PowerManagement.Inhibit); where the session offers neither,
// the desktop portal's Inhibit is asked instead. It follows the player's state
// and lets go at pause, stop, failure, a change between sound and video, and
// when it goes. At most one inhibition is held at any time; every call is
// asynchronous.
class IdleInhibitor : public QObject
{
    Q_OBJECT

public:
    enum class Kind { None, Screen, Sleep };
    Q_ENUM(Kind)

    IdleInhibitor(const QDBusConnection &bus, const PlaybackController &controller, QObject *parent = nullptr);
    ~IdleInhibitor() override;

    // What the player's state asks for now, and what the desktop has granted.
    Kind wanted() const { return m_wanted; }
    Kind held() const { return m_held.kind; }
    // The unique name the desktop sees the requests come from.
    QString busName() const { return m_bus.baseService(); }

Q_SIGNALS:
    void heldChanged(IdleInhibitor::Kind kind);

private:
    struct Inhibition
    {
        Kind kind = Kind::None;
        bool portal = false;
        uint cookie = 0;
        QString handle; // the portal's request object
    };

    void follow();
    void reconcile();
    void take(Kind kind, bool portal);
    void release();
    void onTaken(Kind kind, bool portal, const QDBusMessage &reply);
    QDBusMessage releaseMessage() const;

    QDBusConnection m_bus;
    const PlaybackController &m_controller;
    Kind m_wanted = Kind::None;
    Inhibition m_held;
    bool m_busy = false; // a call is on its way
    QSet<Kind> m_refused; // kinds the session cannot grant
};
