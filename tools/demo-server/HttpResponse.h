#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// The head of an answer. Every answer closes the connection afterwards, so no
// body needs a length except the small finite ones.
class HttpResponse
{
public:
    HttpResponse(int status, const QByteArray &contentType);

    HttpResponse &add(const QByteArray &name, const QByteArray &value);
    HttpResponse &setContentLength(qsizetype length);
    QByteArray head() const;
    int status() const { return m_status; }

    static QByteArray reason(int status);

private:
    int m_status;
    QList<QPair<QByteArray, QByteArray>> m_headers;
};
