#pragma once

#include <QVariant>
#include <QtGlobal>

// Which of libmpv's answers belong to the stream asked for last. Every
// loadfile goes out with a tag of its own; its reply names the playlist entry
// it made, and only that entry's events count. Whatever comes for an older
// request, or before the reply, is stale: the user has moved on.
class LoadRequest
{
public:
    // A loadfile goes out: the tag to send with it.
    quint64 next()
    {
        m_answered = false;
        m_entryId = -1;
        return ++m_tag;
    }
    // Whatever the engine says of the request asked for last is stale now.
    void forget()
    {
        m_answered = false;
        ++m_tag;
    }
    // libmpv replied to a command; false when it is not the latest loadfile.
    bool answer(quint64 tag, const QVariant &result);
    // A playlist entry started; an engine that does not name the entry in
    // its loadfile reply has the first one after the reply be the one asked for.
    void started(qint64 entryId);
    // The entry ended by leading to another (a playlist libmpv read itself):
    // the next one to start is the one asked for.
    void redirected() { m_entryId = -1; }
    // The entry ended; nothing more of it counts.
    void ended() { m_answered = false; }

    bool answered() const { return m_answered; }
    bool isCurrent(qint64 entryId) const { return m_answered && entryId == m_entryId; }
    quint64 tag() const { return m_tag; }

private:
    quint64 m_tag = 0;
    bool m_answered = false;
    qint64 m_entryId = -1;
};
