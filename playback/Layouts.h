#pragma once

class PlaybackWindow;

// The two layouts of playback, in twips relative to the client area. The
// numbers are fixed, not derived from the window or the screen.
namespace RadioLayout {

inline constexpr float kLeft = 0;
inline constexpr float kTop = 0;
inline constexpr float kWidth = 8310;
inline constexpr float kHeight = 975;

// Normal window, the player as a thin bar at the top.
void apply(PlaybackWindow &window);

}

namespace TvLayout {

inline constexpr float kLeft = 0;
inline constexpr float kWidth = 15200;
inline constexpr float kHeight = 10500;

// First half: the maximised window.
void maximise(PlaybackWindow &window);
// Second half: the player as a large video area; its top stays where it is.
void placePlayer(PlaybackWindow &window);

}
