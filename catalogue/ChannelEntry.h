#pragma once

#include <QString>

// The two texts of one list-file record, exactly as read: neither is trimmed,
// validated or unescaped, and either may be empty. Made for one record and
// consumed at once; nothing keeps a list of entries.
struct ChannelEntry
{
    QString displayName; // field 1, becomes a menu caption
    QString address;     // field 2, later handed unchanged to the player
};
