#include "SongHistory.h"

SongHistory::SongHistory(const QString &path, QObject *parent)
    : QObject(parent)
    , m_file(path)
{
}

void SongHistory::ensureLoaded()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_lines = m_file.load();
    if (m_lines.size() > kMaxLines) {
        m_lines.remove(0, m_lines.size() - kMaxLines);
        m_file.rewrite(m_lines);
    }
}

const QList<HeardTitle> &SongHistory::lines()
{
    ensureLoaded();
    return m_lines;
}

void SongHistory::heard(const QString &station, const QString &title, const QDateTime &at)
{
    const QString song = HeardTitle::flattened(title).trimmed();
    const QString name = HeardTitle::flattened(station).trimmed();
    if (song.isEmpty() || song == name)
        return;
    ensureLoaded();
    if (!m_lines.isEmpty() && m_lines.last().station == name && m_lines.last().title == song)
        return;
    // To the second, as the file keeps it.
    const QDateTime second = at.addMSecs(-at.time().msec());
    const HeardTitle line{ second.toOffsetFromUtc(second.offsetFromUtc()), name, song };
    m_lines.append(line);
    if (m_lines.size() > kMaxLines) {
        m_lines.remove(0, m_lines.size() - kMaxLines);
        m_file.rewrite(m_lines);
        Q_EMIT reset();
        return;
    }
    m_file.append(line);
    Q_EMIT added(line);
}

void SongHistory::clear()
{
    ensureLoaded();
    m_lines.clear();
    m_file.rewrite(m_lines);
    Q_EMIT reset();
}
