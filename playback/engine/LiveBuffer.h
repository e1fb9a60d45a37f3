#pragma once

#include <QObject>
#include <QVariant>

class MpvCore;
class PlayerState;

// Keeps a paused live stream coming in, so that play goes on where it paused
// and nothing of the programme is lost: while a live stream is paused, and
// for as long as it then plays behind the station, the engine may read ahead
// up to the limits below instead of its few seconds. The state learns how
// far behind live it plays. When the limit is reached while paused, the
// oldest part goes, and play starts from the oldest part kept. Playing
// behind live, the engine keeps what lies ahead and a few MiB of what just
// played. Where the engine cannot seek in what it holds, pause stays a plain
// pause and nothing is said. Leaving the stream, or going back to live, gives
// the memory back.
class LiveBuffer : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        double seconds = 30 * 60;
        qint64 bytes = 64ll * 1024 * 1024;
    };

    explicit LiveBuffer(PlayerState &state, QObject *parent = nullptr);

    // The engine whose streams are held; set once it exists.
    void attach(MpvCore *core);
    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }
    // Whether what the station sends is being held now.
    bool isHolding() const { return m_holding; }
    // Whether the engine may read ahead beyond its usual few seconds now:
    // while holding, and after going live until it plays from there.
    bool isEnlarged() const { return m_enlarged; }
    // Jumps to what the station sends now, and lets go of what was held.
    void goLive();

private:
    void onStateChanged();
    void onPropertyChanged(const QString &name, const QVariant &value);
    void onPlaybackRestarted();
    void hold();
    void release();
    // Sets the engine's read-ahead back to what it is for any stream.
    void giveBack();
    void setBudget(qint64 bytes);
    void follow(const QVariantMap &cache);

    PlayerState &m_state;
    MpvCore *m_core = nullptr;
    Limits m_limits;
    bool m_holding = false;
    bool m_enlarged = false;      // the engine reads ahead beyond its usual few seconds
    double m_lead = -1;           // what the engine has ahead at the live edge, in seconds
    double m_cacheEnd = -1;       // the newest moment held, on the stream's clock
    qint64 m_forwardBytes = -1;   // what the engine has ahead of the play position
    qint64 m_budget = -1;         // the engine's memory for this stream, while it is not the usual
    bool m_dropping = false;      // a seek past the oldest part is underway
    bool m_giveBackOnRestart = false; // gone live: the memory goes once the engine plays there
};
