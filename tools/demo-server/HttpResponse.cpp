#include "HttpResponse.h"

HttpResponse::HttpResponse(int status, const QByteArray &contentType)
    : m_status(status)
{
    if (!contentType.isEmpty())
        add("Content-Type", contentType);
}

HttpResponse &HttpResponse::add(const QByteArray &name, const QByteArray &value)
{
    m_headers.append({name, value});
    return *this;
}

HttpResponse &HttpResponse::setContentLength(qsizetype length)
{
    return add("Content-Length", QByteArray::number(length));
}

QByteArray HttpResponse::head() const
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(m_status) + ' ' + reason(m_status) + "\r\n";
    out += "Server: lumora-demo-server\r\nConnection: close\r\nCache-Control: no-cache, no-store\r\n";
    for (const auto &[name, value] : m_headers)
        out += name + ": " + value + "\r\n";
    out += "\r\n";
    return out;
}

QByteArray HttpResponse::reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}
