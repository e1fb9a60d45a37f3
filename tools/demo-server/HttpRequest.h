#pragma once

#include <QByteArray>
#include <QHash>
#include <QUrlQuery>

class HttpRequest
{
public:
    enum class State { Incomplete, Complete, Invalid, TooLarge };

    static constexpr qsizetype kMaxHeaderBytes = 8 * 1024;

    // Looks for a whole request head in `buffer`; everything after the blank
    // line is left unread, request bodies do not matter to this server.
    State parse(const QByteArray &buffer);

    QByteArray method() const { return m_method; }
    QByteArray path() const { return m_path; }
    QUrlQuery query() const { return m_query; }
    QByteArray header(const QByteArray &name) const;

private:
    QByteArray m_method;
    QByteArray m_path;
    QUrlQuery m_query;
    QHash<QByteArray, QByteArray> m_headers;
};
