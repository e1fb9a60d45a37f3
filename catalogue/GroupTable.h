#pragma once

#include <array>

#include <QLatin1StringView>
#include <QStringView>

// How choosing an entry of a group lays the window out: the player as a thin
// bar in a normal window, or a large video area in a maximised one.
enum class GroupLayout { Radio, Tv };

// One of the seventeen channel groups as the design fixes it: what the
// catalogue loads into it and where the menu tree puts it.
struct GroupDefinition
{
    QLatin1StringView arrayName;  // the menu item array, "ah" … "xslist"
    QLatin1StringView listFile;   // relative to the working directory, "gb/ah.txt"
    QStringView designCaption;    // caption of item 0, and of the group's own submenu
    int capacity;                 // address slots
    QLatin1StringView parentMenu; // the top-level menu it sits in: "gb", "tv" or "xs"
    bool ownSubmenu;              // in a submenu of its own, named arrayName + "0", rather than directly
    int menuPosition;             // its place among the seventeen in the menu tree, from 0
    GroupLayout layout;
};

// The one table of the seventeen groups, which the catalogue and the menu
// tree both read.
namespace GroupTable {

inline constexpr int kGroupCount = 17;
using Table = std::array<GroupDefinition, kGroupCount>;

// In load order, with the capacities: ah 31, gd 21, …, gblist 301.
const Table &groups();

}
