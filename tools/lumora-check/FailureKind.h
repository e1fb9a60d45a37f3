#pragma once

#include <QString>

#include "Failure.h"

// The stable key of a failure kind that scripts compare, where the Chinese
// words may be reworded.
namespace FailureKind {

// "refused-address", "not-found", "http-error", "server-error",
// "connection-refused", "timeout", "host-not-found", "unreachable",
// "dropped", "unsupported-format", "bad-playlist", "no-address",
// "no-audio", "player-unavailable", or "other".
QString key(Failure::Kind kind);

}
