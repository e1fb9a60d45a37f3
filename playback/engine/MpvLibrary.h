#pragma once

#include <QObject>
#include <QString>

#include <mpv/client.h>
#include <mpv/render.h>

// The libmpv functions the player calls, resolved from the library at run
// time.
struct MpvApi
{
    decltype(&::mpv_client_api_version) client_api_version;
    decltype(&::mpv_create) create;
    decltype(&::mpv_initialize) initialize;
    decltype(&::mpv_terminate_destroy) terminate_destroy;
    decltype(&::mpv_set_option_string) set_option_string;
    decltype(&::mpv_request_log_messages) request_log_messages;
    decltype(&::mpv_set_wakeup_callback) set_wakeup_callback;
    decltype(&::mpv_wait_event) wait_event;
    decltype(&::mpv_command_async) command_async;
    decltype(&::mpv_set_property_async) set_property_async;
    decltype(&::mpv_observe_property) observe_property;
    decltype(&::mpv_unobserve_property) unobserve_property;
    decltype(&::mpv_error_string) error_string;
    decltype(&::mpv_render_context_create) render_context_create;
    decltype(&::mpv_render_context_free) render_context_free;
    decltype(&::mpv_render_context_render) render_context_render;
    decltype(&::mpv_render_context_set_update_callback) render_context_set_update_callback;
    decltype(&::mpv_render_context_update) render_context_update;
};

// libmpv, loaded when the player first needs it rather than with the
// program. Debian's libmpv brings some two hundred libraries with it, and
// loading them takes about twice as long as the whole window takes to
// appear; the player starts loading it on a worker thread once the window is
// on screen, so nobody waits for it.
//
// Loading happens once per process and is never undone; every function here
// may be called from any thread.
class MpvLibrary : public QObject
{
    Q_OBJECT

public:
    // The one instance, whose loaded() signal reaches receivers on their own
    // threads. Lives until the process ends.
    static MpvLibrary *instance();

    // Loads the library on the calling thread if it is not loaded yet, and
    // returns its functions, or nullptr if it cannot be loaded (error() says
    // why). Blocks while another thread is loading it.
    static const MpvApi *load();
    // Starts load() on a worker thread unless it has been started before;
    // loaded() follows, at once if the library is already loaded.
    static void loadInBackground();
    static bool isLoaded();
    // The functions; only after a load() that succeeded.
    static const MpvApi &api();
    static QString error();

    // The file to load, by default the libmpv this program was built
    // against. Only before the first load (tests use it to provoke a
    // failure).
    static void setFileName(const QString &fileName);
    static QString fileName();

Q_SIGNALS:
    // Loading ended, successfully or not.
    void loaded(bool ok);

private:
    MpvLibrary() = default;
};
