#include "PlaylistDocuments.h"

QByteArray PlaylistDocuments::pls(const QByteArray &url, const QString &title)
{
    return "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + url + "\r\nTitle1=" + title.toUtf8()
        + "\r\nLength1=-1\r\nVersion=2\r\n";
}

QByteArray PlaylistDocuments::m3u(const QByteArray &url, const QString &title)
{
    return "#EXTM3U\n#EXTINF:-1," + title.toUtf8() + '\n' + url + '\n';
}

QByteArray PlaylistDocuments::asx(const QByteArray &url, const QString &title)
{
    const QByteArray escaped = title.toHtmlEscaped().toUtf8();
    return "<asx version=\"3.0\">\r\n<title>" + escaped + "</title>\r\n<entry>\r\n<title>" + escaped
        + "</title>\r\n<ref href=\"" + url + "\"/>\r\n</entry>\r\n</asx>\r\n";
}
