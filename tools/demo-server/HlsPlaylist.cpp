#include "HlsPlaylist.h"

#include <cmath>

HlsPlaylist::HlsPlaylist(QList<QByteArray> segments, QList<double> durations)
    : m_segments(std::move(segments))
    , m_durations(std::move(durations))
{
    if (m_durations.size() != m_segments.size() || m_segments.isEmpty()) {
        m_segments.clear();
        m_durations.clear();
    }
    // The muxer leaves a sliver of a last segment when the loop is not a whole
    // number of segments; joined to the one before, it is still valid MPEG-TS.
    while (m_segments.size() > 1 && m_durations.last() < kShortestSegment) {
        const QByteArray tail = m_segments.takeLast();
        const double duration = m_durations.takeLast();
        m_segments.last() += tail;
        m_durations.last() += duration;
    }
    for (double d : m_durations)
        m_loopDuration += d;
}

int HlsPlaylist::targetDuration() const
{
    double longest = 0;
    for (double d : m_durations)
        longest = qMax(longest, d);
    // Durations rounded to the nearest second must not exceed the target.
    return qMax(1, int(std::lround(longest)));
}

qint64 HlsPlaylist::firstSequence(qint64 elapsedMs) const
{
    if (!isValid() || m_loopDuration <= 0)
        return 0;
    // Pretend the stream started one window earlier, so that a full window is
    // there from the first request on.
    const double t = double(elapsedMs) / 1000.0 + kWindow * m_durations.first();
    const qint64 loops = qint64(std::floor(t / m_loopDuration));
    double within = t - double(loops) * m_loopDuration;
    int index = 0;
    while (index < m_durations.size() - 1 && within >= m_durations.at(index)) {
        within -= m_durations.at(index);
        ++index;
    }
    // `index` is the segment still being "recorded"; the window ends before it.
    const qint64 current = loops * m_segments.size() + index;
    return qMax<qint64>(0, current - kWindow);
}

QByteArray HlsPlaylist::playlist(qint64 elapsedMs, const QByteArray &prefix) const
{
    const qint64 first = firstSequence(elapsedMs);
    const qint64 count = m_segments.size();
    // Discontinuities sit before every sequence number that is a multiple of the
    // loop length; those that slid out of the window are counted here.
    const qint64 gone = first <= 0 ? 0 : (first - 1) / count;

    QByteArray out = "#EXTM3U\n#EXT-X-VERSION:3\n";
    out += "#EXT-X-TARGETDURATION:" + QByteArray::number(targetDuration()) + '\n';
    out += "#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(first) + '\n';
    out += "#EXT-X-DISCONTINUITY-SEQUENCE:" + QByteArray::number(gone) + '\n';
    for (qint64 seq = first; seq < first + kWindow; ++seq) {
        if (seq > 0 && seq % count == 0)
            out += "#EXT-X-DISCONTINUITY\n";
        out += "#EXTINF:" + QByteArray::number(m_durations.at(int(seq % count)), 'f', 3) + ",\n";
        out += prefix + QByteArray::number(seq) + ".ts\n";
    }
    return out;
}

QByteArray HlsPlaylist::segment(qint64 sequence) const
{
    if (!isValid() || sequence < 0)
        return {};
    return m_segments.at(int(sequence % m_segments.size()));
}

bool HlsPlaylist::parseIndex(const QByteArray &m3u8, QList<double> *durations, QList<QByteArray> *uris)
{
    double pending = -1;
    for (const QByteArray &raw : m3u8.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("#EXTINF:")) {
            bool ok = false;
            pending = line.mid(8, line.indexOf(',') < 0 ? -1 : line.indexOf(',') - 8).toDouble(&ok);
            if (!ok || pending <= 0)
                return false;
        } else if (!line.isEmpty() && !line.startsWith('#')) {
            if (pending < 0)
                return false;
            durations->append(pending);
            uris->append(line);
            pending = -1;
        }
    }
    return !uris->isEmpty();
}
