#include "IdleInhibitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>

#include "PlaybackController.h"
#include "PlayerLog.h"

namespace {

const QString kApplication = QStringLiteral("Lumora");
// The portal's Inhibit flags.
constexpr uint kPortalSuspend = 4;
constexpr uint kPortalIdle = 8;

struct Service
{
    const char *name;
    const char *path;
    const char *interface;
};

constexpr Service kScreenSaver { "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
    "org.freedesktop.ScreenSaver" };
constexpr Service kPowerManagement { "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
    "org.freedesktop.PowerManagement.Inhibit" };
constexpr Service kPortal { "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
    "org.freedesktop.portal.Inhibit" };

QDBusMessage methodCall(const Service &service, const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(service.name), QLatin1String(service.path),
        QLatin1String(service.interface), QLatin1String(method));
}

const Service &desktopService(IdleInhibitor::Kind kind)
{
    return kind == IdleInhibitor::Kind::Screen ? kScreenSaver : kPowerManagement;
}

QString reason(IdleInhibitor::Kind kind)
{
    return kind == IdleInhibitor::Kind::Screen ? QStringLiteral("正在播放电视") : QStringLiteral("正在播放广播");
}

// The session has no such service: ask the next one.
bool absent(const QDBusMessage &reply)
{
    const QString error = reply.errorName();
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
        || error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
        || error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod");
}

}

IdleInhibitor::IdleInhibitor(const QDBusConnection &bus, const PlaybackController &controller, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_controller(controller)
{
    connect(&controller.state(), &PlayerState::stateChanged, this, &IdleInhibitor::follow);
    connect(&controller.state(), &PlayerState::hasVideoChanged, this, &IdleInhibitor::follow);
    follow();
}

IdleInhibitor::~IdleInhibitor()
{
    // Sent without waiting for the answer, as the program may be ending.
    if (m_held.kind != Kind::None)
        m_bus.send(releaseMessage());
}

void IdleInhibitor::follow()
{
    m_wanted = !m_controller.state().isPlaying() ? Kind::None : m_controller.state().hasVideo() ? Kind::Screen : Kind::Sleep;
    reconcile();
}

void IdleInhibitor::reconcile()
{
    if (m_busy || m_held.kind == m_wanted)
        return;
    // One at a time: what is held goes before anything else is asked for.
    if (m_held.kind != Kind::None)
        release();
    else if (!m_refused.contains(m_wanted))
        take(m_wanted, false);
}

void IdleInhibitor::take(Kind kind, bool portal)
{
    QDBusMessage call;
    if (portal) {
        call = methodCall(kPortal, "Inhibit");
        call << QString() << (kind == Kind::Screen ? kPortalIdle : kPortalSuspend)
             << QVariantMap { { QStringLiteral("reason"), reason(kind) } };
    } else {
        call = methodCall(desktopService(kind), "Inhibit");
        call << kApplication << reason(kind);
    }
    m_busy = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, kind, portal](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        onTaken(kind, portal, w->reply());
    });
}

void IdleInhibitor::onTaken(Kind kind, bool portal, const QDBusMessage &reply)
{
    m_busy = false;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        m_held = Inhibition { kind, portal, 0, {} };
        if (portal)
            m_held.handle = reply.arguments().constFirst().value<QDBusObjectPath>().path();
        else
            m_held.cookie = reply.arguments().constFirst().toUInt();
        Q_EMIT heldChanged(kind);
    } else if (!portal && absent(reply)) {
        take(kind, true);
        return;
    } else {
        m_refused.insert(kind);
        qCInfo(lcPlayer).noquote() << QStringLiteral("桌面未提供%1:%2")
                                          .arg(kind == Kind::Screen ? QStringLiteral("屏幕常亮")
                                                                    : QStringLiteral("阻止休眠"),
                                              reply.errorMessage());
    }
    reconcile();
}

QDBusMessage IdleInhibitor::releaseMessage() const
{
    if (m_held.portal)
        return QDBusMessage::createMethodCall(QLatin1String(kPortal.name), m_held.handle,
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
    QDBusMessage call = methodCall(desktopService(m_held.kind), "UnInhibit");
    call << m_held.cookie;
    return call;
}

void IdleInhibitor::release()
{
    m_busy = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(releaseMessage()), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        // Whatever the answer, the inhibition is gone or was never kept.
        m_busy = false;
        m_held = Inhibition();
        Q_EMIT heldChanged(Kind::None);
        reconcile();
    });
}
