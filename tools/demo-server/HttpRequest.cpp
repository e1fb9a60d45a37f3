#include "HttpRequest.h"

#include <QList>
#include <QUrl>

HttpRequest::State HttpRequest::parse(const QByteArray &buffer)
{
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return buffer.size() > kMaxHeaderBytes ? State::TooLarge : State::Incomplete;
    if (end > kMaxHeaderBytes)
        return State::TooLarge;

    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return State::Invalid;
    m_method = requestLine.at(0);
    const QByteArray target = requestLine.at(1);
    if (!target.startsWith('/'))
        return State::Invalid;
    const qsizetype question = target.indexOf('?');
    m_path = QUrl::fromPercentEncoding(target.left(question < 0 ? target.size() : question)).toUtf8();
    m_query = QUrlQuery(question < 0 ? QString() : QString::fromUtf8(target.mid(question + 1)));

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return State::Invalid;
        // Repeated fields (MMS clients send several Pragma lines) read as one list.
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        const auto existing = m_headers.constFind(name);
        m_headers.insert(name, existing == m_headers.cend() ? value : *existing + ", " + value);
    }
    return State::Complete;
}

QByteArray HttpRequest::header(const QByteArray &name) const
{
    return m_headers.value(name.toLower());
}
