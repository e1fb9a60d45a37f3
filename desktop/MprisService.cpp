#include "MprisService.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaProperty>
#include <QStringList>

#include "MprisPlayer.h"
#include "MprisRoot.h"
#include "PlaybackController.h"
#include "PlayerLog.h"

namespace {

// org.freedesktop.DBus.RequestName: fail rather than wait in a queue.
constexpr uint kDoNotQueue = 4;
constexpr uint kPrimaryOwner = 1;
constexpr uint kAlreadyOwner = 4;

// MPRIS says a player's position is never announced; it is read when needed.
bool announced(const QMetaProperty &property)
{
    return qstrcmp(property.name(), "Position") != 0;
}

QString instanceName()
{
    // Several players in one process (tests) each need a name of their own.
    static int players = 0;
    const QString name = QStringLiteral("%1.instance%2")
                             .arg(QLatin1String(MprisService::kBaseName))
                             .arg(QCoreApplication::applicationPid());
    return players++ == 0 ? name : name + QStringLiteral("_%1").arg(players);
}

}

MprisService::MprisService(const QDBusConnection &bus, const WindowActions &window, PlaybackController &controller,
                           QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_root(new MprisRoot(&m_object, window))
    , m_player(new MprisPlayer(&m_object, controller, [this] { announce(); }))
{
    const PlayerState &state = controller.state();
    connect(&state, &PlayerState::stateChanged, this, qOverload<>(&MprisService::announce));
    connect(&state, &PlayerState::titleChanged, this, qOverload<>(&MprisService::announce));
    connect(&state, &PlayerState::volumeChanged, this, qOverload<>(&MprisService::announce));
    announce();

    if (!m_bus.registerObject(QLatin1String(kObjectPath), &m_object, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcPlayer) << "无法在会话总线上登记媒体控制对象:" << m_bus.lastError().message();
        return;
    }
    requestName(QLatin1String(kBaseName), false);
}

MprisService::~MprisService()
{
    m_bus.unregisterObject(QLatin1String(kObjectPath));
}

void MprisService::requestName(const QString &name, bool last)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    call << name << kDoNotQueue;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this, name, last](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<uint> reply = *w;
            if (!reply.isError() && (reply.value() == kPrimaryOwner || reply.value() == kAlreadyOwner)) {
                m_busName = name;
                Q_EMIT busNameSettled(name);
                return;
            }
            if (!last && !reply.isError()) {
                // Another copy of the program is there: a second, independent player.
                requestName(instanceName(), true);
                return;
            }
            qCWarning(lcPlayer).noquote()
                << QStringLiteral("无法取得总线名称 %1:%2")
                       .arg(name, reply.isError() ? reply.error().message() : QStringLiteral("已被占用"));
            Q_EMIT busNameSettled(QString());
        });
}

void MprisService::announce()
{
    announce(m_root, MprisRoot::kInterface);
    announce(m_player, MprisPlayer::kInterface);
}

void MprisService::announce(QDBusAbstractAdaptor *adaptor, const char *interface)
{
    const QMetaObject *meta = adaptor->metaObject();
    QVariantMap now;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (announced(property))
            now.insert(QString::fromLatin1(property.name()), property.read(adaptor));
    }
    QVariantMap &before = m_announced[QLatin1String(interface)];
    const bool first = before.isEmpty();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    before = now;
    if (first || changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(interface) << changed << QStringList();
    m_bus.send(signal);
}
