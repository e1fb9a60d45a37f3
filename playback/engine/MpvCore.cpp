#include "MpvCore.h"

#include <clocale>
#include <vector>

#include <QByteArray>
#include <QMetaObject>

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
    { "volume", "50" },
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

}

MpvCore::MpvCore(const Options &options, QObject *parent)
    : QObject(parent)
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
    m_mpv = m_api->create();
    if (!m_mpv) {
        m_initError = QStringLiteral("无法创建播放引擎");
        return;
    }
    for (const Setting &s : kIsolation) {
        if (m_api->set_option_string(m_mpv, s.name, s.value) < 0)
            qCWarning(lcPlayer) << "播放引擎不接受选项" << s.name;
    }
    m_api->set_option_string(m_mpv, "ao", options.audioOutput.toUtf8().constData());
    m_api->set_option_string(m_mpv, "network-timeout", QByteArray::number(options.networkTimeoutSeconds).constData());

    const int rc = m_api->initialize(m_mpv);
    if (rc < 0) {
        m_initError = QStringLiteral("播放引擎初始化失败:%1").arg(QString::fromUtf8(m_api->error_string(rc)));
        m_api->terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    m_api->request_log_messages(m_mpv, "warn");
    m_api->set_wakeup_callback(m_mpv, &MpvCore::wakeup, this);
}

MpvCore::~MpvCore()
{
    if (!m_mpv)
        return;
    m_api->set_wakeup_callback(m_mpv, nullptr, nullptr);
    m_api->terminate_destroy(m_mpv);
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
    while (m_mpv) {
        const mpv_event *event = m_api->wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
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
    const int rc = m_api->command_async(m_mpv, tag, argv.data());
    if (rc < 0)
        qCWarning(lcPlayer) << "命令失败" << args.value(0) << m_api->error_string(rc);
}

void MpvCore::setProperty(const char *name, const QVariant &value)
{
    if (!m_mpv)
        return;
    switch (value.typeId()) {
    case QMetaType::Bool: {
        int flag = value.toBool() ? 1 : 0;
        m_api->set_property_async(m_mpv, 0, name, MPV_FORMAT_FLAG, &flag);
        break;
    }
    case QMetaType::Int:
    case QMetaType::LongLong: {
        int64_t number = value.toLongLong();
        m_api->set_property_async(m_mpv, 0, name, MPV_FORMAT_INT64, &number);
        break;
    }
    case QMetaType::Double: {
        double number = value.toDouble();
        m_api->set_property_async(m_mpv, 0, name, MPV_FORMAT_DOUBLE, &number);
        break;
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        const char *data = text.constData();
        m_api->set_property_async(m_mpv, 0, name, MPV_FORMAT_STRING, &data);
        break;
    }
    }
}

void MpvCore::observe(const char *name, mpv_format format)
{
    if (m_mpv)
        m_api->observe_property(m_mpv, 0, name, format);
}
