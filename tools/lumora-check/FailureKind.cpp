#include "FailureKind.h"

namespace FailureKind {

QString key(Failure::Kind kind)
{
    using Kind = Failure::Kind;
    switch (kind) {
    case Kind::RefusedAddress:
        return QStringLiteral("refused-address");
    case Kind::NotFound:
        return QStringLiteral("not-found");
    case Kind::Forbidden:
    case Kind::LoginRequired:
    case Kind::HttpError:
        return QStringLiteral("http-error");
    case Kind::ServerError:
        return QStringLiteral("server-error");
    case Kind::ConnectionRefused:
        return QStringLiteral("connection-refused");
    case Kind::Timeout:
        return QStringLiteral("timeout");
    case Kind::UnknownHost:
        return QStringLiteral("host-not-found");
    case Kind::Unreachable:
        return QStringLiteral("unreachable");
    case Kind::Dropped:
        return QStringLiteral("dropped");
    case Kind::UnsupportedFormat:
        return QStringLiteral("unsupported-format");
    case Kind::NotAPlaylist:
    case Kind::NestedPlaylist:
    case Kind::EmptyPlaylist:
    case Kind::UnsafePlaylist:
    case Kind::TooManyRedirects:
        return QStringLiteral("bad-playlist");
    case Kind::NoAddress:
        return QStringLiteral("no-address");
    case Kind::NothingToPlay:
        return QStringLiteral("no-audio");
    case Kind::EngineUnavailable:
    case Kind::NoAudioOutput:
        return QStringLiteral("player-unavailable");
    case Kind::CannotOpen:
    case Kind::NoVideoOutput:
    case Kind::NoData:
        break;
    }
    return QStringLiteral("other");
}

} // namespace FailureKind
