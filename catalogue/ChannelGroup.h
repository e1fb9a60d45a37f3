#pragma once

#include <QList>
#include <QString>

#include "ItemArray.h"

// One list file bound to one menu item array and one address table of fixed
// capacity. Item i of menuItems and slot i of addresses always describe the
// same entry; the entry's display name is held only as that item's caption.
struct ChannelGroup
{
    QString arrayName; // "ah", …, "gblist"
    QString listFile;  // relative to the working directory, "gb/ah.txt"
    ItemArray *menuItems = nullptr;
    int capacity = 0;
    QList<QString> addresses; // capacity slots, empty until a record fills one
    // Entries loaded into the group; item recordCount - 1 is the last one.
    // Records that were skipped (too few fields, beyond the capacity) are not
    // counted, so the index only advances with an entry.
    int recordCount = 0;
    // Why the list file could not be read, or was read only in part (as the
    // reader says it); empty when it was read to its end.
    QString readError;

    // The address in slot index. Requires 0 <= index < capacity; an index
    // outside that range, like a slot that no record filled, gives empty text.
    QString addressAt(int index) const;
};
