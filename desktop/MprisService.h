#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QVariantMap>

#include "WindowActions.h"

class PlaybackController;
class MprisPlayer;
class MprisRoot;
class QDBusAbstractAdaptor;

// The player on the session bus as an MPRIS 2 media player, so that the
// desktop's media controls and media keys reach it: the object
// /org/mpris/MediaPlayer2 with its two interfaces, and the bus name
// org.mpris.MediaPlayer2.lumora, or that name with ".instance<pid>" when
// another copy holds it. Every change of a property is announced at once with
// org.freedesktop.DBus.Properties.PropertiesChanged. Nothing here waits on
// the bus: the name is asked for asynchronously.
class MprisService : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char *kBaseName = "org.mpris.MediaPlayer2.lumora";

    MprisService(const QDBusConnection &bus, const WindowActions &window, PlaybackController &controller,
                 QObject *parent = nullptr);
    ~MprisService() override;

    // The bus name once it is held, else empty.
    QString busName() const { return m_busName; }
    MprisPlayer *playerInterface() const { return m_player; }

Q_SIGNALS:
    // The bus name is held, or could not be had (empty).
    void busNameSettled(const QString &name);

private:
    void requestName(const QString &name, bool last);
    void announce();
    void announce(QDBusAbstractAdaptor *adaptor, const char *interface);

    QDBusConnection m_bus;
    QObject m_object;
    MprisRoot *m_root;
    MprisPlayer *m_player;
    QString m_busName;
    // What each interface's properties were when last announced.
    QHash<QString, QVariantMap> m_announced;
};
