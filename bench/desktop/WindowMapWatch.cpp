#include "WindowMapWatch.h"

#include <cstdlib>

#include <poll.h>
#include <xcb/xcb.h>

WindowMapWatch::WindowMapWatch()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    m_connection = c;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
}

WindowMapWatch::~WindowMapWatch()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

void WindowMapWatch::reset()
{
    if (!m_connection)
        return;
    while (xcb_generic_event_t *e = xcb_poll_for_event(m_connection))
        std::free(e);
}

std::optional<WindowMapWatch::Clock::time_point> WindowMapWatch::nextMapped(std::chrono::milliseconds timeout)
{
    if (!m_connection)
        return std::nullopt;
    const auto deadline = Clock::now() + timeout;
    while (true) {
        while (xcb_generic_event_t *e = xcb_poll_for_event(m_connection)) {
            const auto at = Clock::now();
            const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY
                && !reinterpret_cast<xcb_map_notify_event_t *>(e)->override_redirect;
            std::free(e);
            if (mapped)
                return at;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || xcb_connection_has_error(m_connection))
            return std::nullopt;
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&fd, 1, int(left));
    }
}
