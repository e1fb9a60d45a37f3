#include "MpvCore.h"

#include <algorithm>
#include <clocale>
#include <vector>

#include <QByteArray>
#include <QMetaObject>

#include "FfmpegLogHolder.h"
#include "MpvHandles.h"
#include "MpvLibrary.h"
#include "MpvNode.h"
#include "PlayerLog.h"
#include "SpareHandle.h"

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
    FfmpegLogHolder::hold(m_api, m_options);
    m_mpv = MpvHandles::create(m_api, m_options, &m_initError);
    if (!m_mpv)
        return;
    m_api->set_wakeup_callback(m_mpv, &MpvCore::wakeup, this);
    m_spare = std::make_unique<SpareHandle>(m_api, m_options);
}

MpvCore::~MpvCore()
{
    if (m_mpv) {
        m_api->set_wakeup_callback(m_mpv, nullptr, nullptr);
        MpvHandles::destroyOnWorker(m_api, m_mpv);
    }
}

int MpvCore::handlesAlive()
{
    return MpvHandles::alive();
}

void MpvCore::prepareSpare()
{
    if (m_spare)
        m_spare->prepare();
}

bool MpvCore::hasSpare() const
{
    return m_spare && m_spare->isReady();
}

bool MpvCore::switchToSpare()
{
    if (!hasSpare())
        return false;
    mpv_handle *old = std::exchange(m_mpv, m_spare->take());
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
    MpvHandles::destroyOnWorker(m_api, old);
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
    FfmpegLogHolder::drain();
    while (m_mpv) {
        const mpv_event *event = m_api->wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
    // An event read in the loop above may have come after this drain began:
    // what ffmpeg said before it is read now, before anyone acts on it.
    FfmpegLogHolder::drain();
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
        FfmpegLogHolder::readBy(this);
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
    return MpvHandles::defaultOption(name);
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
