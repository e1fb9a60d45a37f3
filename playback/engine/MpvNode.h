#pragma once

#include <QVariant>

#include <mpv/client.h>

namespace MpvNode {

// A libmpv node as a QVariant: strings, flags, numbers, lists and maps.
QVariant toVariant(const mpv_node &node);

}
