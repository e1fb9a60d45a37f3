#pragma once

#include <optional>
#include <utility>

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include "Failure.h"
#include "MpvCore.h"

// What the end of a stream means. libmpv says little at the end of a file
// (a reason and a coarse error code); what it logged on the way there tells
// the rest, and it hands those lines out after the end itself. So the end is
// held until every pending event has been read, and then judged: nothing to
// do, look for a playlist served without its extension, reconnect a live
// stream, fail with a reason, or an end like any other. Pure logic: the
// controller feeds it and acts on the verdict.
class EndDiagnosis
{
public:
    // Only the last lines logged are kept: the cause is near the end.
    static constexpr int kMaxLines = 20;

    struct End
    {
        MpvCore::EndReason reason;
        int mpvError;
        bool wasOpen; // the stream had been playing
    };

    // What is known of the stream that ended.
    struct Stream
    {
        QString address; // what was opened, playlists resolved
        bool seekable = false; // only a live stream is not
        bool reconnecting = false;
        bool sniffed = false; // already looked at once for a playlist
    };

    enum class Outcome {
        Nothing, // an end the player asked for, or a redirect
        LookForPlaylist, // a network address libmpv could not read
        Reconnect, // a live stream dropped
        Failed,
        Ended,
    };

    struct Verdict
    {
        Outcome outcome;
        Failure failure; // why it failed, or why giving up on a reconnect
    };

    explicit EndDiagnosis(double networkTimeoutSeconds);

    // A new stream is opened: what was logged before says nothing of it.
    void opened();
    void logged(const QString &prefix, const QString &text);
    const QStringList &lines() const { return m_lines; }
    // How long since the latest open; -1 before the first.
    qint64 sinceOpenMs() const { return m_sinceOpen.isValid() ? m_sinceOpen.elapsed() : -1; }

    // The end waits for the lines logged on the way to it.
    void hold(const End &end) { m_pending = end; }
    bool pending() const { return m_pending.has_value(); }
    std::optional<End> take() { return std::exchange(m_pending, std::nullopt); }
    void drop() { m_pending.reset(); }

    Verdict judge(const End &end, const Stream &stream, qint64 sinceOpenMs) const;
    // Why the stream failed: the logged lines, the error, and how long the
    // open took (libmpv says no more than "failed" when the network timeout
    // ran out).
    Failure failure(int mpvError, qint64 sinceOpenMs) const;
    // The logged lines and the error alone.
    Failure fromLog(int mpvError) const;
    // The open took longer than the watchdog allows: a server that sent
    // nothing, or bytes that never became sound.
    Failure openTimedOut() const;

private:
    double m_networkTimeoutSeconds;
    QStringList m_lines;
    QElapsedTimer m_sinceOpen;
    std::optional<End> m_pending;
};
