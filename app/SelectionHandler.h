#pragma once

#include <QtGlobal>

#include "GroupTable.h"
#include "NowPlaying.h"

struct ChannelGroup;
class PlaybackWindow;

// What choosing entry i of a group does: the group's layout, its address
// handed to the player, and the entry named in the caption. One handler per
// group; it reads only its own group. Nothing is compared with the present
// state, so choosing the same entry again does everything again.
//
// The two layouts are in twips relative to the client area; the numbers are
// fixed, not derived from the window or the screen. Radio: a normal window,
// the player as a thin bar at the top. TV: the maximised window, then the
// player as a large video area whose top stays where it is.
class SelectionHandler
{
public:
    using Layout = GroupLayout;

    static constexpr float kRadioLeft = 0;
    static constexpr float kRadioTop = 0;
    static constexpr float kRadioWidth = 8310;
    static constexpr float kRadioHeight = 975;
    static constexpr float kTvLeft = 0;
    static constexpr float kTvWidth = 15200;
    static constexpr float kTvHeight = 10500;

    SelectionHandler(const ChannelGroup &group, Layout layout, PlaybackWindow &window);

    // Returns false when the index lies outside the group and was rejected.
    bool select(qint16 index);

private:
    bool selectRadio(int index);
    bool selectTv(int index);
    bool accepts(int index) const;
    NowPlaying entry(int index, NowPlaying::Kind kind) const;
    void writeCaption(int index);

    const ChannelGroup &m_group;
    Layout m_layout;
    PlaybackWindow &m_window;
};
