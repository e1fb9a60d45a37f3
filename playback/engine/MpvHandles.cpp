#include "MpvHandles.h"

#include <atomic>

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include "MpvLibrary.h"
#include "PlayerLog.h"

namespace MpvHandles {

namespace {

// Options that keep the engine to itself: none of the user's mpv files,
// scripts, key bindings or terminal output, and memory sized for live radio.
struct Setting
{
    const char *name;
    const char *value;
};

constexpr Setting kIsolation[] = {
    { "config", "no" },
    { "load-scripts", "no" },
    { "osc", "no" },
    { "ytdl", "no" },
    { "load-stats-overlay", "no" },
    { "load-osd-console", "no" },
    { "load-auto-profiles", "no" },
    { "input-default-bindings", "no" },
    { "input-vo-keyboard", "no" },
    { "input-builtin-bindings", "no" },
    { "terminal", "no" },
    { "resume-playback", "no" },
    { "save-position-on-quit", "no" },
    { "load-unsafe-playlists", "no" },
    { "idle", "yes" },
    { "keep-open", "no" },
    { "force-window", "no" },
    { "vo", "libmpv" },
    { "vid", "no" },
    { "gpu-hwdec-interop", "no" },
    { "audio-display", "no" },
    { "osd-level", "0" },
    { "sub-auto", "no" },
    { "audio-file-auto", "no" },
    { "volume-max", "100" },
    // Live streams: play as soon as audio decodes, keep a small buffer.
    { "cache", "yes" },
    { "cache-secs", "10" },
    { "cache-pause-initial", "no" },
    { "cache-pause-wait", "1" },
    { "demuxer-max-bytes", "4MiB" },
    // Hardly anything is kept of what has played: the player never seeks
    // back. Left to itself libmpv lends the back buffer whatever the forward
    // buffer does not use, so a live station's resident memory grew by the
    // whole 4 MiB over its first minutes. Not nothing: libmpv hands out a
    // stream's ICY titles from the packets behind the play position, and
    // with no back buffer at all no title ever shows.
    { "demuxer-max-back-bytes", "64KiB" },
    { "demuxer-donate-buffer", "no" },
    { "demuxer-readahead-secs", "10" },
};

// A worker thread that nobody asked for stays no longer than this.
constexpr int kWorkerExpiryMs = 1000;

std::atomic_int g_alive { 0 };

}

mpv_handle *create(const MpvApi *api, const MpvCore::Options &options, QString *error, Count count)
{
    mpv_handle *mpv = api->create();
    if (!mpv) {
        *error = QStringLiteral("无法创建播放引擎");
        return nullptr;
    }
    if (count == Count::Player)
        ++g_alive;
    for (const Setting &s : kIsolation) {
        if (api->set_option_string(mpv, s.name, s.value) < 0)
            qCWarning(lcPlayer) << "播放引擎不接受选项" << s.name;
    }
    api->set_option_string(mpv, "ao", options.audioOutput.toUtf8().constData());
    api->set_option_string(mpv, "network-timeout", QByteArray::number(options.networkTimeoutSeconds).constData());

    const int rc = api->initialize(mpv);
    if (rc < 0) {
        *error = QStringLiteral("播放引擎初始化失败:%1").arg(QString::fromUtf8(api->error_string(rc)));
        api->terminate_destroy(mpv);
        if (count == Count::Player)
            --g_alive;
        return nullptr;
    }
    api->request_log_messages(mpv, "warn");
    return mpv;
}

void destroy(const MpvApi *api, mpv_handle *mpv)
{
    api->terminate_destroy(mpv);
    --g_alive;
}

void destroyOnWorker(const MpvApi *api, mpv_handle *mpv)
{
    if (QThreadPool *pool = workers())
        pool->start([api, mpv] { destroy(api, mpv); });
    else
        destroy(api, mpv);
}

QThreadPool *workers()
{
    static QPointer<QThreadPool> pool;
    if (!pool && QCoreApplication::instance()) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setExpiryTimeout(kWorkerExpiryMs);
        pool->setMaxThreadCount(2);
    }
    return pool;
}

int alive()
{
    return g_alive;
}

QByteArray defaultOption(const char *name)
{
    for (const Setting &setting : kIsolation) {
        if (qstrcmp(setting.name, name) == 0)
            return setting.value;
    }
    return {};
}

}
