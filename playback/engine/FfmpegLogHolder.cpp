#include "FfmpegLogHolder.h"

#include <atomic>
#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include "MpvHandles.h"
#include "MpvLibrary.h"

namespace {

struct FfmpegLog
{
    const MpvApi *api = nullptr;
    mpv_handle *mpv = nullptr;
    QPointer<MpvCore> reader;
    QObject *holder = nullptr;
    std::atomic_bool drainQueued { false };
};

FfmpegLog g_log;

}

void FfmpegLogHolder::hold(const MpvApi *api, const MpvCore::Options &options)
{
    if (g_log.mpv || !QCoreApplication::instance())
        return;
    // The workers go first when the application ends, and with them every
    // handle they were destroying; this one after them.
    MpvHandles::workers();
    QString error;
    g_log.mpv = MpvHandles::create(api, options, &error, MpvHandles::Count::Aside);
    if (!g_log.mpv)
        return;
    g_log.api = api;
    // Messages are drained through the holder: it lives until the callback
    // is cleared.
    auto *holder = new QObject(QCoreApplication::instance());
    g_log.holder = holder;
    QObject::connect(holder, &QObject::destroyed, [] {
        g_log.api->set_wakeup_callback(g_log.mpv, nullptr, nullptr);
        g_log.api->terminate_destroy(std::exchange(g_log.mpv, nullptr));
    });
    api->set_wakeup_callback(
        g_log.mpv,
        [](void *) {
            if (!g_log.drainQueued.exchange(true))
                QMetaObject::invokeMethod(g_log.holder, &FfmpegLogHolder::drain, Qt::QueuedConnection);
        },
        nullptr);
}

void FfmpegLogHolder::readBy(MpvCore *core)
{
    g_log.reader = core;
}

void FfmpegLogHolder::drain()
{
    g_log.drainQueued = false;
    while (g_log.mpv) {
        const mpv_event *event = g_log.api->wait_event(g_log.mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        if (event->event_id != MPV_EVENT_LOG_MESSAGE || !g_log.reader)
            continue;
        const auto *msg = static_cast<const mpv_event_log_message *>(event->data);
        Q_EMIT g_log.reader->logMessage(
            QString::fromUtf8(msg->prefix), QString::fromUtf8(msg->level), QString::fromUtf8(msg->text).trimmed());
    }
}
