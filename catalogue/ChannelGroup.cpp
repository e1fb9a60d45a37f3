#include "ChannelGroup.h"

QString ChannelGroup::addressAt(int index) const
{
    if (index < 0 || index >= addresses.size()) {
        return {};
    }
    return addresses.at(index);
}
