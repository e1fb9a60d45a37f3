#include "FailureReason.h"

#include <QRegularExpression>

#include <mpv/client.h>

namespace FailureReason {

namespace {

struct Pattern
{
    const char *regex;
    Failure::Kind kind; // an HTTP status is the first captured group, if any
};

using Kind = Failure::Kind;

// Most specific first: the first pattern that matches any logged line wins.
constexpr Pattern kPatterns[] = {
    {"HTTP error 404|404 Not Found", Kind::NotFound},
    {"HTTP error 403|403 Forbidden", Kind::Forbidden},
    {"HTTP error 401", Kind::LoginRequired},
    {"HTTP error (5\\d\\d)", Kind::ServerError},
    {"HTTP error (\\d{3})", Kind::HttpError},
    {"Connection refused", Kind::ConnectionRefused},
    {"[Tt]imed? ?out|Timeout", Kind::Timeout},
    {"resolve hostname|Name or service not known|name resolution|No address associated", Kind::UnknownHost},
    {"Network is unreachable|No route to host", Kind::Unreachable},
    {"[Rr]edirect", Kind::TooManyRedirects},
    {"Connection reset|Broken pipe|End of file", Kind::Dropped},
    {"refusing to load|unsafe", Kind::UnsafePlaylist},
    {"No format found|recognize file format|Invalid data found", Kind::UnsupportedFormat},
};

const QList<QRegularExpression> &compiled()
{
    static const QList<QRegularExpression> patterns = [] {
        QList<QRegularExpression> list;
        for (const Pattern &p : kPatterns)
            list.append(QRegularExpression(QString::fromLatin1(p.regex)));
        return list;
    }();
    return patterns;
}

}

Failure describe(const QStringList &loggedErrors, int mpvError)
{
    for (std::size_t i = 0; i < std::size(kPatterns); ++i) {
        const Pattern &p = kPatterns[i];
        const QRegularExpression &re = compiled().at(qsizetype(i));
        for (const QString &line : loggedErrors) {
            const QRegularExpressionMatch m = re.match(line);
            if (!m.hasMatch())
                continue;
            return m.lastCapturedIndex() >= 1 ? Failure::http(p.kind, m.captured(1).toInt()) : Failure(p.kind);
        }
    }
    switch (mpvError) {
    case MPV_ERROR_UNKNOWN_FORMAT:
        return Failure(Kind::UnsupportedFormat);
    case MPV_ERROR_NOTHING_TO_PLAY:
        return Failure(Kind::NothingToPlay);
    case MPV_ERROR_AO_INIT_FAILED:
        return Failure(Kind::NoAudioOutput);
    case MPV_ERROR_VO_INIT_FAILED:
        return Failure(Kind::NoVideoOutput);
    default:
        return Failure(Kind::CannotOpen);
    }
}

}
