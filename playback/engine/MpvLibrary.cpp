#include "MpvLibrary.h"

#include <atomic>
#include <mutex>

#include <QLibrary>
#include <QMetaObject>
#include <QThreadPool>

namespace {

struct State
{
    std::mutex mutex; // held while loading
    std::atomic<const MpvApi *> api { nullptr };
    std::atomic_bool attempted { false }; // a load has begun
    std::atomic_bool done { false }; // and ended
    std::atomic_bool backgroundStarted { false };
    QString fileName = QStringLiteral(LUMORA_LIBMPV_FILE);
    QString error;
    MpvApi table {};
};

State &state()
{
    static State s;
    return s;
}

template<typename F> bool resolve(QLibrary &library, const char *name, F &slot, QString &missing)
{
    slot = reinterpret_cast<F>(library.resolve(name));
    if (!slot)
        missing = QString::fromLatin1(name);
    return slot != nullptr;
}

const MpvApi *loadLocked(State &s);

} // namespace

MpvLibrary *MpvLibrary::instance()
{
    // Never deleted: a worker may still announce a load while the program
    // ends.
    static MpvLibrary *const one = new MpvLibrary;
    return one;
}

const MpvApi *MpvLibrary::load()
{
    State &s = state();
    if (const MpvApi *api = s.api.load(std::memory_order_acquire))
        return api;
    std::lock_guard lock(s.mutex);
    if (s.attempted)
        return s.api.load();
    s.attempted = true;
    const MpvApi *api = loadLocked(s);
    s.done = true;
    return api;
}

namespace {

const MpvApi *loadLocked(State &s)
{
    // Never unloaded: the engine's threads and the video output's callbacks
    // live in it until the process ends.
    QLibrary library(s.fileName);
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        s.error = QStringLiteral("无法加载 %1(%2)").arg(s.fileName, library.errorString());
        return nullptr;
    }
    MpvApi &t = s.table;
    QString missing;
    const bool complete = resolve(library, "mpv_client_api_version", t.client_api_version, missing)
        && resolve(library, "mpv_create", t.create, missing)
        && resolve(library, "mpv_initialize", t.initialize, missing)
        && resolve(library, "mpv_terminate_destroy", t.terminate_destroy, missing)
        && resolve(library, "mpv_set_option_string", t.set_option_string, missing)
        && resolve(library, "mpv_request_log_messages", t.request_log_messages, missing)
        && resolve(library, "mpv_set_wakeup_callback", t.set_wakeup_callback, missing)
        && resolve(library, "mpv_wait_event", t.wait_event, missing)
        && resolve(library, "mpv_command_async", t.command_async, missing)
        && resolve(library, "mpv_set_property_async", t.set_property_async, missing)
        && resolve(library, "mpv_observe_property", t.observe_property, missing)
        && resolve(library, "mpv_unobserve_property", t.unobserve_property, missing)
        && resolve(library, "mpv_error_string", t.error_string, missing)
        && resolve(library, "mpv_render_context_create", t.render_context_create, missing)
        && resolve(library, "mpv_render_context_free", t.render_context_free, missing)
        && resolve(library, "mpv_render_context_render", t.render_context_render, missing)
        && resolve(library, "mpv_render_context_set_update_callback", t.render_context_set_update_callback, missing)
        && resolve(library, "mpv_render_context_update", t.render_context_update, missing);
    if (!complete) {
        s.error = QStringLiteral("%1 缺少 %2").arg(s.fileName, missing);
        return nullptr;
    }
    // The same major version as the headers: the calls and structures above
    // are those of the headers this program was compiled with.
    const unsigned long version = t.client_api_version();
    if (version >> 16 != MPV_CLIENT_API_VERSION >> 16 || version < MPV_CLIENT_API_VERSION) {
        s.error = QStringLiteral("%1 的接口版本 %2.%3 与本程序不符(需要 %4.%5)")
                      .arg(s.fileName)
                      .arg(version >> 16)
                      .arg(version & 0xffff)
                      .arg(MPV_CLIENT_API_VERSION >> 16)
                      .arg(MPV_CLIENT_API_VERSION & 0xffff);
        return nullptr;
    }
    s.api.store(&t, std::memory_order_release);
    return &t;
}

} // namespace

void MpvLibrary::loadInBackground()
{
    MpvLibrary *announcer = instance();
    State &s = state();
    if (s.done) {
        const bool ok = s.api.load() != nullptr;
        QMetaObject::invokeMethod(
            announcer, [announcer, ok] { Q_EMIT announcer->loaded(ok); }, Qt::QueuedConnection);
        return;
    }
    if (s.backgroundStarted.exchange(true))
        return; // the worker that is loading will announce it
    // The global pool waits for the worker when the application ends.
    QThreadPool::globalInstance()->start([announcer] {
        const bool ok = load() != nullptr;
        Q_EMIT announcer->loaded(ok);
    });
}

bool MpvLibrary::isLoaded()
{
    return state().api.load() != nullptr;
}

const MpvApi &MpvLibrary::api()
{
    const MpvApi *api = state().api.load(std::memory_order_acquire);
    Q_ASSERT(api);
    return *api;
}

QString MpvLibrary::error()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.error;
}

void MpvLibrary::setFileName(const QString &fileName)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.attempted)
        s.fileName = fileName;
}

QString MpvLibrary::fileName()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.fileName;
}
