#pragma once

#include <functional>

class QObject;

// What the desktop may do to the player's window, given by the application
// that owns it: the desktop layer knows no widgets.
struct WindowActions
{
    // Receives the keys typed in the window, for the player's keys.
    QObject *keyTarget = nullptr;
    // Brings the window forward, out of the minimised state.
    std::function<void()> raise;
    // Closes the window as its close button does.
    std::function<void()> close;
};
