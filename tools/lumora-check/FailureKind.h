#pragma once

#include <QString>

// Sorts the player's failure reasons (FailureReason, PlaylistFetcher,
// AddressPolicy and the prober's own) into a few stable keys that scripts
// can compare, where the Chinese words may be reworded.
namespace FailureKind {

// "refused-address", "not-found", "http-error", "server-error",
// "connection-refused", "timeout", "host-not-found", "unreachable",
// "dropped", "unsupported-format", "bad-playlist", "no-address",
// "no-audio", "player-unavailable", or "other".
QString of(const QString &reason);

}
