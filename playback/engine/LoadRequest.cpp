#include "LoadRequest.h"

#include <QVariantMap>

bool LoadRequest::answer(quint64 tag, const QVariant &result)
{
    if (tag != m_tag)
        return false;
    m_answered = true;
    m_entryId = result.toMap().value(QStringLiteral("playlist_entry_id"), -1).toLongLong();
    return true;
}

void LoadRequest::started(qint64 entryId)
{
    if (m_answered && m_entryId < 0)
        m_entryId = entryId;
}
