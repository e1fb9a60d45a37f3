#pragma once

#include <QVariant>

#include <mpv/client.h>

namespace MpvNode {

// A libmpv node as a QVariant: strings, flags, numbers, lists and maps. A
// string that is not valid UTF-8 is a QByteArray of its bytes.
QVariant toVariant(const mpv_node &node);

}
