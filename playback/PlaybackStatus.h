#pragma once

#include <QObject>
#include <QString>

#include "Failure.h"

// What the player is doing, as one state and the Chinese status text the
// control bar shows for it. It is told what happened and never asks libmpv,
// so it can be followed step by step in a test.
class PlaybackStatus : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Connecting, Buffering, Playing, Paused, Stopped, Ended, Reconnecting, Failed, Unavailable };
    Q_ENUM(State)

    explicit PlaybackStatus(QObject *parent = nullptr);

    State state() const { return m_state; }
    QString text() const;
    QString title() const { return m_title; }
    const Failure &failure() const { return m_failure; }

    void connecting();
    void buffering(int percent);
    void playing();
    void paused();
    void stopped();
    void ended();
    void reconnecting(int attempt, int delayMs);
    void failed(const Failure &failure);
    // The engine could not start: an EngineUnavailable failure.
    void unavailable(const Failure &failure);
    // The stream's now-playing title (ICY StreamTitle), or empty.
    void setTitle(const QString &title);

Q_SIGNALS:
    void changed();

private:
    // Applies a change and signals it when the state or the text changed.
    template<typename Change>
    void update(Change &&change);

    State m_state = State::Idle;
    int m_percent = 0;
    int m_attempt = 0;
    int m_delayMs = 0;
    QString m_title;
    Failure m_failure;
};
