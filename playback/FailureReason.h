#pragma once

#include <QString>
#include <QStringList>

// Why a stream could not be played, in a few words of Chinese for the status
// text. libmpv reports only a coarse error code at the end of a file; the
// precise cause (refused, not found, timed out) is in what it logged while
// opening, so both are looked at.
namespace FailureReason {

QString describe(const QStringList &loggedErrors, int mpvError);

}
