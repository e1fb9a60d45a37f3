#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

#include "WindowActions.h"

// org.mpris.MediaPlayer2 on the player's MPRIS object: who the player is, and
// its window brought forward or closed, as the desktop's media controls ask.
class MprisRoot : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    static constexpr const char *kInterface = "org.mpris.MediaPlayer2";

    // window: what may be done to the player's top-level window.
    MprisRoot(QObject *object, WindowActions window);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const;
    // The installed desktop entry's id, without ".desktop".
    QString desktopEntry() const;
    // The program opens nothing it is sent: it plays what its menus hold.
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise();
    // Closes the window as its close button does.
    void Quit();

private:
    WindowActions m_window;
};
