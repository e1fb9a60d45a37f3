#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include "Failure.h"
#include "MpvCore.h"
#include "PlaybackController.h"
#include "ProbeResult.h"

// Tries addresses one after the other on one engine of the player, without
// sound or video output: the player's own PlaybackController applies the
// address rules, resolves playlists and words the failures, exactly as when a
// user picks the station. A try ends when audio has decoded and the codec,
// bitrate and title are known (or a short while after the audio), when the
// player gives up, or at the time limit, whichever comes first; nothing here
// waits, everything follows the engine's signals.
class StationProbe : public QObject
{
    Q_OBJECT

public:
    // How long a try that already plays waits for the bitrate and the title.
    static constexpr int kSettleMs = 1500;

    // The engine for tries of that time limit: no sound output, and its own
    // network timeout a little longer than the limit, so that a try that
    // runs out of time is always ended (and worded) by the probe.
    static MpvCore::Options engineOptions(double timeoutSeconds);

    StationProbe(const MpvCore::Options &engine, int timeoutMs, QObject *parent = nullptr);

    // Makes the engine now rather than at the first try; cheap afterwards.
    void prepare();
    bool isBusy() const { return m_busy; }
    // The address of the try that runs or ran last.
    QString address() const { return m_address; }
    // Starts a try; only when not busy. finished() follows, never from
    // within this call.
    void start(const QString &address);

Q_SIGNALS:
    void finished(const ProbeResult &result);

private:
    void evaluate();
    void onPropertyChanged(const QString &name, const QVariant &value);
    void onDeadline();
    void succeed();
    void fail(const Failure &failure);
    // A failure the probe words itself, such as its own time limit.
    void fail(Failure::Kind kind, const QString &reason);
    void finish();

    PlaybackController m_controller;
    int m_timeoutMs;
    QTimer m_deadline;
    QTimer m_settle;
    QElapsedTimer m_clock;
    QString m_address;
    ProbeResult m_result;
    bool m_observing = false;
    bool m_busy = false;
    bool m_opening = false;
    bool m_fileStarted = false; // the engine has started a file since this try began
};
