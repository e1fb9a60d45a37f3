#pragma once

#include <array>
#include <functional>

#include <QString>

#include "ChannelGroup.h"
#include "GroupTable.h"
#include "ItemArray.h"
#include "ListFileReader.h"
#include "LoadReport.h"

// The seventeen channel groups of GroupTable, in its load order. load() runs once at
// start-up, before the window is first shown, and fills every group's menu and
// address table from its list file; afterwards the catalogue never changes.
//
// Loading never ends the program and never stops early: a list file that is
// missing or unreadable leaves its group as it was (item 0 with its own
// caption, every slot empty); a record with fewer than three fields is skipped
// and makes no menu item; records beyond a group's capacity are counted, not
// loaded. Each such problem is one line of lcCatalogue naming the file and the
// record.
class ChannelCatalogue
{
public:
    using Groups = std::array<ChannelGroup, GroupTable::kGroupCount>;
    // Gives the menu item array of the given name ("ah", …, "xslist").
    using ItemArrayLookup = std::function<ItemArray *(const QString &arrayName)>;

    // Looks every array up at once; the arrays must outlive the catalogue.
    // fileHook is handed to the reader (see ListFileReader::FileHook).
    explicit ChannelCatalogue(const ItemArrayLookup &lookup, ListFileReader::FileHook fileHook = {});

    // Hands every line that load() would write to lcCatalogue to the sink
    // instead; a line about the whole catalogue rather than one file comes
    // with an empty list file name. Set it before load().
    void setReportSink(LoadReport::Sink sink);

    // Reads the seventeen files relative to the working directory, one at a
    // time, in load order. A second call does nothing.
    void load();

    // Requires one of the seventeen array names; for any other name it gives
    // an empty group of capacity 0 (and says so on lcCatalogue).
    ChannelGroup &group(const QString &arrayName);
    const ChannelGroup &group(const QString &arrayName) const;
    // nullptr for a name that is not one of the seventeen.
    ChannelGroup *findGroup(const QString &arrayName);
    const ChannelGroup *findGroup(const QString &arrayName) const;

    // All seventeen, in load order.
    Groups &groups();
    const Groups &groups() const;

private:
    void loadGroup(ChannelGroup &group, ListFileReader &reader);

    ListFileReader::FileHook m_fileHook;
    LoadReport::Sink m_reportSink;
    Groups m_groups;
    ChannelGroup m_noGroup;
    bool m_loaded = false;
};
