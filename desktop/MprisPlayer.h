#pragma once

#include <functional>

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QVariantMap>

class PlaybackController;

// org.mpris.MediaPlayer2.Player on the player's MPRIS object: the player's
// own controls (play, pause, stop, volume) and what it plays, for the
// desktop's media controls and media keys. A live stream has no position, no
// next and no previous: the program keeps no current channel. What plays is
// the entry the controller was last given, by its name.
class MprisPlayer : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    static constexpr const char *kInterface = "org.mpris.MediaPlayer2.Player";

    // changed is called whenever a property may have changed.
    MprisPlayer(QObject *object, PlaybackController &controller, std::function<void()> changed);

    QString playbackStatus() const;
    double rate() const { return 1.0; }
    void setRate(double) { }
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const { return 0; }
    bool canGoNext() const { return false; }
    bool canGoPrevious() const { return false; }
    bool canPlay() const { return chosen(); }
    bool canPause() const { return chosen(); }
    bool canSeek() const { return false; }
    bool canControl() const { return chosen(); }

public Q_SLOTS:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next() { }
    void Previous() { }
    void Seek(qlonglong) { }
    void SetPosition(const QDBusObjectPath &, qlonglong) { }
    void OpenUri(const QString &) { }

Q_SIGNALS:
    // Never sent: a live stream is not seeked. Part of the interface.
    void Seeked(qlonglong position);

private:
    bool chosen() const;
    void onChosen();

    PlaybackController &m_controller;
    std::function<void()> m_changed;
    quint64 m_track = 0;
};
