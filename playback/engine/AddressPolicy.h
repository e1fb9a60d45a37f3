#pragma once

#include <QString>

#include "Failure.h"

// Which addresses the player opens. A list file can come from anywhere, and
// libmpv also understands pseudo-addresses that open capture devices or make
// and splice media (av://, lavfi://, edl://, …), so only network streams and
// local media files get through; everything else is refused before the engine
// sees it.
namespace AddressPolicy {

enum class Kind { Network, LocalFile, Refused };

struct Verdict
{
    Kind kind;
    // For a refused address, why (a RefusedAddress failure with its scheme).
    Failure refusal;
};

Verdict classify(const QString &address);
// True for network streams only: what a playlist fetched from the network
// may point at.
bool isNetwork(const QString &address);

}
