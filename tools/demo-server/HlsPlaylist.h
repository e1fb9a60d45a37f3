#pragma once

#include <QByteArray>
#include <QList>

// A live HLS rendition cut from a finite loop of segments: the media sequence
// follows the wall clock, so the window slides forever and wraps round the
// loop, with a discontinuity wherever the loop starts again.
class HlsPlaylist
{
public:
    static constexpr int kWindow = 4;
    static constexpr double kShortestSegment = 0.5;

    HlsPlaylist() = default;
    HlsPlaylist(QList<QByteArray> segments, QList<double> durations);

    bool isValid() const { return !m_segments.isEmpty(); }
    int segmentCount() const { return int(m_segments.size()); }
    int targetDuration() const;
    double loopDuration() const { return m_loopDuration; }

    // The playlist `elapsedMs` after the server started; segment addresses are
    // `prefix` + sequence number + ".ts".
    QByteArray playlist(qint64 elapsedMs, const QByteArray &prefix) const;
    qint64 firstSequence(qint64 elapsedMs) const;
    QByteArray segment(qint64 sequence) const;

    // Reads what ffmpeg's HLS muxer wrote: durations and file names in order.
    static bool parseIndex(const QByteArray &m3u8, QList<double> *durations, QList<QByteArray> *uris);

private:
    QList<QByteArray> m_segments;
    QList<double> m_durations;
    double m_loopDuration = 0;
};
