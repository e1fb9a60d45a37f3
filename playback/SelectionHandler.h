#pragma once

#include <QtGlobal>

#include "GroupTable.h"

struct ChannelGroup;
class PlaybackWindow;

// What choosing entry i of a group does: the group's layout, its address
// handed to the player, and the entry named in the caption. One handler per
// group; it reads only its own group. Nothing is compared with the present
// state, so choosing the same entry again does everything again.
class SelectionHandler
{
public:
    using Layout = GroupLayout;

    SelectionHandler(const ChannelGroup &group, Layout layout, PlaybackWindow &window);

    // Returns false when the index lies outside the group and was rejected.
    bool select(qint16 index);

private:
    bool selectRadio(int index);
    bool selectTv(int index);
    bool accepts(int index) const;
    void writeCaption(int index);

    const ChannelGroup &m_group;
    Layout m_layout;
    PlaybackWindow &m_window;
};
