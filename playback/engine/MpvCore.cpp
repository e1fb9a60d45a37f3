#include "MpvCore.h"

#include <algorithm>
#include <clocale>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include "MpvLibrary.h"
#include "MpvNode.h"
#include "PlayerLog.h"

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

std::atomic_int g_handlesAlive { 0 };

// The threads that make and destroy libmpv handles. Owned by the application,
// whose end waits for whatever they are still doing.
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

void destroyHandle(const MpvApi *api, mpv_handle *mpv)
{
    api->terminate_destroy(mpv);
    --g_handlesAlive;
}

// Ending a handle waits for its threads, and they for the network.
void destroyOnWorker(const MpvApi *api, mpv_handle *mpv)
{
    if (QThreadPool *pool = workers())
        pool->start([api, mpv] { destroyHandle(api, mpv); });
    else
        destroyHandle(api, mpv);
}

// libmpv hands ffmpeg's messages (an HTTP status, a refused connection:
// what tells a failure) to one handle only, the one initialised first while
// no other held them, and to stderr once that handle is gone. So a handle of
// their own, which never plays, holds them for as long as the application
// runs, and they go on to the core that opened a stream last.
struct FfmpegLog
{
    const MpvApi *api = nullptr;
    mpv_handle *mpv = nullptr;
    QPointer<MpvCore> reader;
    QObject *holder = nullptr;
    std::atomic_bool drainQueued { false };
};

FfmpegLog g_ffmpegLog;

// A spare handle on its way from a worker to its core; destroyed on a worker
// if the core is gone before it arrives.
struct SpareHandle
{
    const MpvApi *api = nullptr;
    mpv_handle *mpv = nullptr;
    ~SpareHandle()
    {
        if (mpv)
            destroyOnWorker(api, mpv);
    }
};

}

mpv_handle *MpvCore::createHandle(const MpvApi *api, const Options &options, QString *error)
{
    mpv_handle *mpv = api->create();
    if (!mpv) {
        *error = QStringLiteral("无法创建播放引擎");
        return nullptr;
    }
    ++g_handlesAlive;
    for (const Setting &s : kIsolation) {
        if (api->set_option_string(mpv, s.name, s.value) < 0)
            qCWarning(lcPlayer) << "播放引擎不接受选项" << s.name;
    }
    api->set_option_string(mpv, "ao", options.audioOutput.toUtf8().constData());
    api->set_option_string(mpv, "network-timeout", QByteArray::number(options.networkTimeoutSeconds).constData());

    const int rc = api->initialize(mpv);
    if (rc < 0) {
        *error = QStringLiteral("播放引擎初始化失败:%1").arg(QString::fromUtf8(api->error_string(rc)));
        destroyHandle(api, mpv);
        return nullptr;
    }
    api->request_log_messages(mpv, "warn");
    return mpv;
}

MpvCore::MpvCore(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    // libmpv parses numbers with the C library and refuses to start under a
    // locale whose decimal separator is not a dot.
    std::setlocale(LC_NUMERIC, "C");

    // Instant once the player has loaded the library in the background.
    m_api = MpvLibrary::load();
    if (!m_api) {
        m_initError = MpvLibrary::error();
        return;
    }
    holdFfmpegLog(m_api, m_options);
    m_mpv = createHandle(m_api, m_options, &m_initError);
    if (m_mpv)
        m_api->set_wakeup_callback(m_mpv, &MpvCore::wakeup, this);
}

MpvCore::~MpvCore()
{
    if (m_mpv) {
        m_api->set_wakeup_callback(m_mpv, nullptr, nullptr);
        destroyOnWorker(m_api, m_mpv);
    }
    if (m_spare)
        destroyOnWorker(m_api, m_spare);
}

void MpvCore::holdFfmpegLog(const MpvApi *api, const Options &options)
{
    if (g_ffmpegLog.mpv || !QCoreApplication::instance())
        return;
    // The workers go first when the application ends, and with them every
    // handle they were destroying; this one after them.
    workers();
    QString error;
    g_ffmpegLog.mpv = createHandle(api, options, &error);
    if (!g_ffmpegLog.mpv)
        return;
    --g_handlesAlive; // not one of the players' handles
    g_ffmpegLog.api = api;
    // Messages are drained through the holder: it lives until the callback
    // is cleared.
    auto *holder = new QObject(QCoreApplication::instance());
    g_ffmpegLog.holder = holder;
    QObject::connect(holder, &QObject::destroyed, [] {
        g_ffmpegLog.api->set_wakeup_callback(g_ffmpegLog.mpv, nullptr, nullptr);
        g_ffmpegLog.api->terminate_destroy(std::exchange(g_ffmpegLog.mpv, nullptr));
    });
    api->set_wakeup_callback(
        g_ffmpegLog.mpv,
        [](void *) {
            if (!g_ffmpegLog.drainQueued.exchange(true))
                QMetaObject::invokeMethod(g_ffmpegLog.holder, &MpvCore::drainFfmpegLog, Qt::QueuedConnection);
        },
        nullptr);
}

void MpvCore::drainFfmpegLog()
{
    g_ffmpegLog.drainQueued = false;
    while (g_ffmpegLog.mpv) {
        const mpv_event *event = g_ffmpegLog.api->wait_event(g_ffmpegLog.mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        if (event->event_id != MPV_EVENT_LOG_MESSAGE || !g_ffmpegLog.reader)
            continue;
        const auto *msg = static_cast<const mpv_event_log_message *>(event->data);
        Q_EMIT g_ffmpegLog.reader->logMessage(
            QString::fromUtf8(msg->prefix), QString::fromUtf8(msg->level), QString::fromUtf8(msg->text).trimmed());
    }
}

int MpvCore::handlesAlive()
{
    return g_handlesAlive;
}

void MpvCore::prepareSpare()
{
    if (!m_mpv || m_spare || m_sparePending)
        return;
    QThreadPool *pool = workers();
    if (!pool)
        return;
    m_sparePending = true;
    // Ahead of any handle waiting to be destroyed: the next choice may come
    // any moment. The answer goes through the pool, which lives on the
    // core's thread and outlives every job it runs (the application object
    // does not: its end waits for the workers after it is gone); a spare
    // whose core is gone by then is destroyed with the call.
    QPointer<MpvCore> self(this);
    pool->start(
        [self, pool, api = m_api, options = m_options] {
            auto spare = std::make_shared<SpareHandle>();
            spare->api = api;
            QString error;
            spare->mpv = createHandle(api, options, &error);
            if (!spare->mpv)
                qCWarning(lcPlayer).noquote() << QStringLiteral("没有备用播放引擎:%1").arg(error);
            QMetaObject::invokeMethod(
                pool,
                [self, spare] {
                    if (!self)
                        return;
                    self->m_sparePending = false;
                    if (spare->mpv)
                        self->adoptSpare(std::exchange(spare->mpv, nullptr));
                },
                Qt::QueuedConnection);
        },
        1);
}

void MpvCore::adoptSpare(mpv_handle *spare)
{
    if (m_spare || !m_mpv) {
        destroyOnWorker(m_api, spare);
        return;
    }
    m_spare = spare;
}

bool MpvCore::switchToSpare()
{
    if (!m_spare)
        return false;
    mpv_handle *old = std::exchange(m_mpv, std::exchange(m_spare, nullptr));
    m_loaded = false;
    // Silent at once: pausing stops the audio output now, whatever the
    // demuxer is waiting for.
    int pause = 1;
    m_api->set_property_async(old, 0, "pause", MPV_FORMAT_FLAG, &pause);
    m_api->set_wakeup_callback(old, nullptr, nullptr);
    // The new handle gets what the old one was given, as the old one got it.
    for (const auto &[name, format] : m_observed)
        m_api->observe_property(m_mpv, observationId(name), name.constData(), format);
    for (const auto &[name, value] : m_settings)
        setOn(m_api, m_mpv, name.constData(), value);
    m_api->set_wakeup_callback(m_mpv, &MpvCore::wakeup, this);
    // A render context of the old handle is freed here, while its core still
    // runs and answers at once.
    Q_EMIT engineReplaced(m_mpv);
    const char *stop[] = { "stop", nullptr };
    m_api->command_async(old, 0, stop);
    destroyOnWorker(m_api, old);
    prepareSpare();
    return true;
}

void MpvCore::wakeup(void *self)
{
    // Called on a libmpv thread: queue one drain, however many events follow.
    auto *core = static_cast<MpvCore *>(self);
    if (!core->m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(core, &MpvCore::drainEvents, Qt::QueuedConnection);
}

void MpvCore::drainEvents()
{
    m_drainQueued = false;
    // What ffmpeg said on the way to these events comes first, as it would
    // on this handle's own queue.
    drainFfmpegLog();
    while (m_mpv) {
        const mpv_event *event = m_api->wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
    // An event read in the loop above may have come after this drain began:
    // what ffmpeg said before it is read now, before anyone acts on it.
    drainFfmpegLog();
    Q_EMIT eventsDrained();
}

void MpvCore::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        Q_EMIT fileStarted(static_cast<const mpv_event_start_file *>(event.data)->playlist_entry_id);
        break;
    case MPV_EVENT_FILE_LOADED:
        Q_EMIT fileLoaded();
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        EndReason reason = EndReason::Eof;
        switch (end->reason) {
        case MPV_END_FILE_REASON_EOF:
            reason = EndReason::Eof;
            break;
        case MPV_END_FILE_REASON_STOP:
            reason = EndReason::Stop;
            break;
        case MPV_END_FILE_REASON_QUIT:
            reason = EndReason::Quit;
            break;
        case MPV_END_FILE_REASON_ERROR:
            reason = EndReason::Error;
            break;
        case MPV_END_FILE_REASON_REDIRECT:
            reason = EndReason::Redirect;
            break;
        }
        Q_EMIT fileEnded(end->playlist_entry_id, reason, end->error);
        break;
    }
    case MPV_EVENT_COMMAND_REPLY: {
        const auto *reply = static_cast<const mpv_event_command *>(event.data);
        if (event.reply_userdata)
            Q_EMIT commandReplied(event.reply_userdata, event.error, MpvNode::toVariant(reply->result));
        break;
    }
    case MPV_EVENT_SET_PROPERTY_REPLY:
        if (event.error < 0)
            qCWarning(lcPlayer) << "播放引擎拒绝设置属性:" << m_api->error_string(event.error);
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        Q_EMIT playbackRestarted();
        break;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *prop = static_cast<const mpv_event_property *>(event.data);
        QVariant value;
        switch (prop->format) {
        case MPV_FORMAT_NODE:
            value = MpvNode::toVariant(*static_cast<mpv_node *>(prop->data));
            break;
        case MPV_FORMAT_FLAG:
            value = *static_cast<int *>(prop->data) != 0;
            break;
        case MPV_FORMAT_INT64:
            value = static_cast<qlonglong>(*static_cast<int64_t *>(prop->data));
            break;
        case MPV_FORMAT_DOUBLE:
            value = *static_cast<double *>(prop->data);
            break;
        case MPV_FORMAT_STRING:
            value = QString::fromUtf8(*static_cast<char **>(prop->data));
            break;
        default:
            break; // MPV_FORMAT_NONE: the property is unavailable now.
        }
        Q_EMIT propertyChanged(QString::fromUtf8(prop->name), value);
        break;
    }
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *msg = static_cast<const mpv_event_log_message *>(event.data);
        Q_EMIT logMessage(
            QString::fromUtf8(msg->prefix), QString::fromUtf8(msg->level), QString::fromUtf8(msg->text).trimmed());
        break;
    }
    default:
        break;
    }
}

void MpvCore::command(const QStringList &args, quint64 tag)
{
    if (!m_mpv)
        return;
    std::vector<QByteArray> utf8;
    utf8.reserve(args.size());
    for (const QString &arg : args)
        utf8.push_back(arg.toUtf8());
    std::vector<const char *> argv;
    for (const QByteArray &a : utf8)
        argv.push_back(a.constData());
    argv.push_back(nullptr);
    if (args.value(0) == QLatin1String("loadfile")) {
        m_loaded = true;
        g_ffmpegLog.reader = this;
    }
    const int rc = m_api->command_async(m_mpv, tag, argv.data());
    if (rc < 0)
        qCWarning(lcPlayer) << "命令失败" << args.value(0) << m_api->error_string(rc);
}

void MpvCore::setProperty(const char *name, const QVariant &value)
{
    if (!m_mpv)
        return;
    const QByteArray key(name);
    auto it = std::find_if(m_settings.begin(), m_settings.end(), [&](const auto &s) { return s.first == key; });
    if (it != m_settings.end())
        it->second = value;
    else
        m_settings.emplace_back(key, value);
    setOn(m_api, m_mpv, name, value);
}

void MpvCore::setForThisStream(const char *name, const QVariant &value)
{
    if (m_mpv)
        setOn(m_api, m_mpv, name, value);
}

void MpvCore::setOn(const MpvApi *api, mpv_handle *mpv, const char *name, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool: {
        int flag = value.toBool() ? 1 : 0;
        api->set_property_async(mpv, 0, name, MPV_FORMAT_FLAG, &flag);
        break;
    }
    case QMetaType::Int:
    case QMetaType::LongLong: {
        int64_t number = value.toLongLong();
        api->set_property_async(mpv, 0, name, MPV_FORMAT_INT64, &number);
        break;
    }
    case QMetaType::Double: {
        double number = value.toDouble();
        api->set_property_async(mpv, 0, name, MPV_FORMAT_DOUBLE, &number);
        break;
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        const char *data = text.constData();
        api->set_property_async(mpv, 0, name, MPV_FORMAT_STRING, &data);
        break;
    }
    }
}

void MpvCore::observe(const char *name, mpv_format format)
{
    if (!m_mpv)
        return;
    const QByteArray key(name);
    if (std::any_of(m_observed.cbegin(), m_observed.cend(), [&](const auto &o) { return o.first == key; }))
        return;
    m_observed.emplace_back(key, format);
    m_api->observe_property(m_mpv, observationId(key), name, format);
}

QByteArray MpvCore::defaultOption(const char *name)
{
    for (const Setting &setting : kIsolation) {
        if (qstrcmp(setting.name, name) == 0)
            return setting.value;
    }
    return {};
}

void MpvCore::unobserve(const char *name)
{
    const QByteArray key(name);
    const auto it = std::find_if(m_observed.cbegin(), m_observed.cend(), [&](const auto &o) { return o.first == key; });
    if (!m_mpv || it == m_observed.cend())
        return;
    m_api->unobserve_property(m_mpv, observationId(key));
    m_observed.erase(it);
}

quint64 MpvCore::observationId(const QByteArray &name)
{
    // Tells one observation from another so that it can be ended alone; the
    // replies to commands use tags of their own, never seen here.
    return qHash(name) | (quint64(1) << 63);
}
