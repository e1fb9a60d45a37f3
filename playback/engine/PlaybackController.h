#pragma once

#include <memory>

#include <QObject>
#include <QVariant>

#include "EndDiagnosis.h"
#include "Failure.h"
#include "LiveBuffer.h"
#include "LoadRequest.h"
#include "MpvCore.h"
#include "NowPlaying.h"
#include "PlayerState.h"
#include "PlaylistResolver.h"
#include "Reconnector.h"

// What the player does with an address: opens it in libmpv, follows the
// engine's events into the PlayerState, reconnects a live stream that drops,
// and holds volume and mute (in the state) until the engine exists. Every call
// returns at once; nothing here waits on the network or on libmpv.
class PlaybackController : public QObject
{
    Q_OBJECT

public:
    explicit PlaybackController(const MpvCore::Options &options, QObject *parent = nullptr);
    ~PlaybackController() override;

    // Creates the engine if it does not exist yet, loading libmpv on this
    // thread if need be. Cheap after the first call.
    bool ensureEngine();
    // Loads libmpv on a worker thread and then creates the engine, without
    // making this thread wait; engineReady() follows. An address opened
    // meanwhile waits (Opening) and plays as soon as the engine is there.
    void prepareEngine();
    MpvCore *core() const { return m_core.get(); }

    // Plays the entry, replacing whatever played or was still opening, and
    // makes it what is now playing, even when it is the same again. An entry
    // without an address stops.
    void open(const NowPlaying &entry);
    // An address with no entry behind it (the catalogue checker's probes).
    void open(const QString &address) { open(NowPlaying{ QString(), address }); }
    // Resumes a paused stream or opens the entry again after a stop, a
    // failure or its end; nothing while it opens or plays.
    void play();
    // Pauses a stream that plays or fills its buffer; nothing otherwise.
    void pause();
    void stop();
    // pause() while it plays, play() otherwise: the one button and key.
    void togglePause();
    // A live stream that plays behind the station after a pause jumps to
    // what the station sends now; nothing otherwise.
    void goLive();
    // How much of a paused live stream is kept.
    void setLiveLimits(const LiveBuffer::Limits &limits) { m_liveBuffer.setLimits(limits); }
    const LiveBuffer &liveBuffer() const { return m_liveBuffer; }
    void setVolume(int volume);
    void setMute(bool mute);
    // Scales what the engine plays at (a fade) without touching the volume
    // the user chose, which the state keeps; 1 is that volume.
    void setVolumeFactor(double factor);
    const NowPlaying &nowPlaying() const { return m_now; }
    QString address() const { return m_now.address; }

    const PlayerState &state() const { return m_state; }
    // Whether a video area exists to draw into; without one no video is decoded.
    void setVideoOutputAvailable(bool available);

Q_SIGNALS:
    void engineReady();
    // Another choice, or the same one again.
    void nowPlayingChanged(const NowPlaying &entry);

private:
    void start();
    double engineVolume() const;
    void load(const QString &address);
    // Ends whatever the engine plays or opens, and every answer still due for it.
    void stopEngine();
    void onCommandReplied(quint64 tag, int mpvError, const QVariant &result);
    void onFileLoaded();
    void onFileEnded(qint64 entryId, MpvCore::EndReason reason, int mpvError);
    void onEventsDrained();
    void finishEnd(const EndDiagnosis::End &end);
    void onOpenTimedOut();
    void onPropertyChanged(const QString &name, const QVariant &value);
    void scheduleReconnect(const Failure &cause);
    void applyVideoSelection();
    // A stream is open and its end has not been seen.
    bool streamOpen() const { return m_state.isOpen() && !m_diagnosis.pending(); }

    MpvCore::Options m_options;
    std::unique_ptr<MpvCore> m_core;
    QMetaObject::Connection m_whenLibraryLoaded;
    PlayerState m_state;
    LiveBuffer m_liveBuffer { m_state };

    // What is being played, and where the engine is with it.
    NowPlaying m_now;             // the address as given
    QString m_target;             // what is opened: trimmed, playlists resolved
    PlaylistResolver m_resolver;
    LoadRequest m_request;        // the latest loadfile, and its entry
    EndDiagnosis m_diagnosis;
    Reconnector m_reconnector;

    bool m_videoOutput = false;
    double m_volumeFactor = 1.0;
};
