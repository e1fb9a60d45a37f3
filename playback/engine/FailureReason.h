#pragma once

#include <QStringList>

#include "Failure.h"

// Why libmpv could not play a stream. libmpv reports only a coarse error code
// at the end of a file; the precise cause (refused, not found, timed out) is
// in what it logged while opening, so both are looked at.
namespace FailureReason {

Failure describe(const QStringList &loggedErrors, int mpvError);

}
