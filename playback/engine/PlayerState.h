#pragma once

#include <QObject>
#include <QString>

#include "Failure.h"

// What the player is doing, in one place: the state, what belongs to it (the
// buffer fill, the reconnect attempt, the failure), the stream's title, and
// the volume and mute the user chose. It is told what happened and never asks
// libmpv, so it can be followed step by step; the Chinese status text is made
// from it. Every change goes through the transitions below, and each thing
// that changed is signalled once, after the change: what a desktop media
// interface or a screen-saver inhibitor needs to follow the player.
class PlayerState : public QObject
{
    Q_OBJECT

public:
    enum class State {
        NoEngine,         // libmpv is not loaded, nothing has asked for it yet
        LoadingEngine,    // libmpv is loading on a worker thread
        Unavailable,      // libmpv could not be loaded or started; failure() says why
        Idle,             // the engine is there, nothing has been opened
        Opening,          // an address is opening, or waits for the engine to open
        FetchingPlaylist, // a playlist is being fetched before its stream opens
        Buffering,        // the stream is open and fills its buffer; bufferPercent()
        Playing,
        Paused,
        Reconnecting,     // a live stream dropped: attempt(), and reconnectDelayMs() until it reopens
        Failed,           // failure() says why
        Stopped,
        Ended,
    };
    Q_ENUM(State)

    // What can happen to the player; each event names the states it may come from.
    enum class Event {
        LoadingEngine,
        EngineReady,
        EngineUnavailable,
        Opening,
        FetchingPlaylist,
        Opened,
        Stalled,
        BufferFilled,
        Playing,
        Paused,
        Resumed,
        Reconnecting,
        Failed,
        Stopped,
        Ended,
        Title,
        BehindLive,
    };
    Q_ENUM(Event)

    // Whether the event applies in that state.
    static bool accepts(Event event, State from);

    static constexpr int kDefaultVolume = 50;

    explicit PlayerState(QObject *parent = nullptr);

    State state() const { return m_state; }
    // The status text, in Chinese, for display only.
    QString text() const;
    // The stream's now-playing title (ICY StreamTitle), or empty.
    QString title() const { return m_title; }
    const Failure &failure() const { return m_failure; }
    int bufferPercent() const { return m_percent; }
    int attempt() const { return m_attempt; }
    int reconnectDelayMs() const { return m_delayMs; }
    // A stream is open in the engine: buffering, playing or paused.
    bool isOpen() const;
    // Whether the player is busy bringing sound: the control bar offers
    // pause rather than play.
    bool isActive() const;
    // A stream is open and sounds, or fills its buffer to sound: what pause
    // applies to, and what keeps the screen awake.
    bool isPlaying() const;
    // A live stream that was paused plays, or waits, this many whole seconds
    // behind what the station sends now; 0 at the live edge.
    int behindLiveSeconds() const { return m_behindLive; }
    bool isBehindLive() const { return m_behindLive > 0; }
    // The open stream has a picture (a video track that is not cover art).
    bool hasVideo() const { return m_hasVideo; }
    // The engine can seek in the open stream: a file, or a stream with an
    // end. A live stream cannot; neither can a stream until the engine says.
    bool isSeekable() const { return m_seekable; }

    int volume() const { return m_volume; }
    bool mute() const { return m_mute; }

    // The events. Each applies only from the states its row of the table in
    // PlayerState.cpp names; elsewhere it is ignored where that is no news
    // (a fill after the buffer is full) or refused with a log line naming
    // both, and changes nothing. Once Unavailable, nothing applies.
    void loadingEngine();                    // from NoEngine
    void engineReady();                      // from NoEngine or LoadingEngine, to Idle
    void engineUnavailable(const Failure &failure);
    void opening();                          // from anywhere; clears the title and the failure
    void fetchingPlaylist();                 // while opening, or a playlist inside a playlist
    void opened();                           // the stream is open: Buffering at 0 %
    void stalled();                          // from Playing or Buffering: Buffering at 0 %
    void bufferFilled(int percent);          // while Buffering only
    void playing();                          // from Buffering or Playing (a restart)
    void paused();                           // from Buffering, Playing or Paused
    void resumed();                          // from an open stream, to Playing
    void reconnecting(int attempt, int delayMs); // while something is underway
    void failed(const Failure &failure);
    void stopped();
    void ended();                            // while something is underway
    void setTitle(const QString &title);     // while something is underway, or after it
    void setBehindLive(int seconds);         // while a stream is open; leaving it goes back to 0
    void setHasVideo(bool hasVideo);         // what the engine's tracks say, whatever the state
    void setSeekable(bool seekable);         // what the engine says of the stream, whatever the state

    void setVolume(int volume); // 0..100, where 100 is the stream's own loudness
    void setMute(bool mute);

Q_SIGNALS:
    void stateChanged(PlayerState::State state);
    void textChanged(const QString &text);
    void titleChanged(const QString &title);
    void volumeChanged(int volume);
    void muteChanged(bool mute);
    void behindLiveChanged(int seconds);
    void hasVideoChanged(bool hasVideo);

private:
    // Applies a change and signals what it changed.
    template<typename Change>
    void update(Event event, Change &&change);
    bool in(std::initializer_list<State> states) const;
    void buffering(Event event, int percent);

    State m_state = State::NoEngine;
    int m_percent = 0;
    int m_attempt = 0;
    int m_delayMs = 0;
    int m_behindLive = 0;
    bool m_hasVideo = false;
    bool m_seekable = false;
    QString m_title;
    Failure m_failure;
    int m_volume = kDefaultVolume;
    bool m_mute = false;
};
