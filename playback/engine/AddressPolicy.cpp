#include "AddressPolicy.h"

#include <QUrl>

namespace AddressPolicy {

namespace {

constexpr const char *kNetworkSchemes[] = {
    "http", "https", "mms", "mmsh", "mmst", "rtsp", "rtsps", "rtmp", "rtmpe", "rtmps",
    "rtmpt", "rtmpte", "rtmpts", "rtp", "udp", "srt",
};

// The scheme as libmpv would read it: letters, digits, "+", "-", "." before "://".
QString schemeOf(const QString &address)
{
    const qsizetype colon = address.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return {};
    const QString scheme = address.left(colon);
    if (!scheme.front().isLetter())
        return {};
    for (QChar c : scheme) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')))
            return {};
    }
    return scheme.toLower();
}

}

Verdict classify(const QString &address)
{
    // libmpv reads "-" as its standard input.
    if (address == QLatin1String("-"))
        return {Kind::Refused, Failure::refusedAddress(address)};
    const QString scheme = schemeOf(address);
    // No scheme, or a single letter as in "C:\…": a path on this machine.
    if (scheme.isEmpty() || scheme.size() == 1)
        return {Kind::LocalFile, Failure()};
    if (scheme == QLatin1String("file"))
        return {Kind::LocalFile, Failure()};
    for (const char *s : kNetworkSchemes) {
        if (scheme == QLatin1String(s))
            return {Kind::Network, Failure()};
    }
    return {Kind::Refused, Failure::refusedAddress(scheme)};
}

bool isNetwork(const QString &address)
{
    return classify(address).kind == Kind::Network;
}

}
