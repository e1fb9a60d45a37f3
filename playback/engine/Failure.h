#pragma once

#include <optional>

#include <QMetaType>
#include <QString>

// Why an address does not play, as a value: what went wrong (the kind) and
// what is known about it (an HTTP status, a scheme, the engine's own words).
// Code decides by the kind; text() words it in Chinese for the status text and
// is made here and nowhere else.
class Failure
{
public:
    enum class Kind {
        CannotOpen,        // nothing more precise is known
        NotFound,          // HTTP 404
        Forbidden,         // HTTP 403
        LoginRequired,     // HTTP 401
        ServerError,       // HTTP 5xx
        HttpError,         // any other HTTP status
        ConnectionRefused,
        Timeout,
        UnknownHost,
        Unreachable,
        TooManyRedirects,
        Dropped,           // the connection broke; cause() may say why it stayed broken
        UnsafePlaylist,    // a playlist libmpv read itself pointed somewhere unsafe
        UnsupportedFormat,
        NothingToPlay,
        NoAudioOutput,
        NoVideoOutput,
        NoData,            // a playlist request answered nothing
        NotAPlaylist,
        NestedPlaylist,    // playlists led to playlists too often
        EmptyPlaylist,     // a playlist without a network stream in it
        RefusedAddress,    // an address the player never opens; scheme() says which
        NoAddress,
        EngineUnavailable, // libmpv could not be loaded or started; detail() says why
    };

    Failure() = default;
    // For kinds without details; NotFound, Forbidden and LoginRequired know
    // their status.
    explicit Failure(Kind kind);

    // ServerError or HttpError.
    static Failure http(Kind kind, int status);
    // The scheme as written before ":" ("lavfi"), or "-" for the address "-".
    static Failure refusedAddress(const QString &scheme);
    static Failure engineUnavailable(const QString &why);
    // A live stream that dropped and could not be reopened, for that reason.
    static Failure droppedFor(const Failure &cause);

    Kind kind() const { return m_kind; }
    // The kind of the failure that kept a dropped stream from coming back.
    std::optional<Kind> cause() const { return m_cause; }
    int httpStatus() const { return m_status; }
    QString scheme() const { return m_kind == Kind::RefusedAddress ? m_detail : QString(); }
    QString detail() const { return m_detail; }

    // In a few words of Chinese, for display only.
    QString text() const;

    friend bool operator==(const Failure &, const Failure &) = default;

private:
    static QString textOf(Kind kind, int status, const QString &detail);

    Kind m_kind = Kind::CannotOpen;
    std::optional<Kind> m_cause;
    int m_status = 0;
    QString m_detail;
};

Q_DECLARE_METATYPE(Failure)
