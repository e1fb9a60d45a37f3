#pragma once

#include <chrono>
#include <optional>

struct xcb_connection_t;

// Watches the X11 display (the session's DISPLAY) for the first top-level
// window a window manager maps: a program's main window appearing, seen from
// outside the program. Windows that bypass the window manager (menus, tool
// tips) do not count.
class WindowMapWatch
{
public:
    using Clock = std::chrono::steady_clock;

    WindowMapWatch();
    ~WindowMapWatch();
    WindowMapWatch(const WindowMapWatch &) = delete;
    WindowMapWatch &operator=(const WindowMapWatch &) = delete;

    bool isConnected() const { return m_connection != nullptr; }
    // Forgets what was mapped so far.
    void reset();
    // When the next top-level window was mapped; empty when none within `timeout`.
    std::optional<Clock::time_point> nextMapped(std::chrono::milliseconds timeout);

private:
    xcb_connection_t *m_connection = nullptr;
};
