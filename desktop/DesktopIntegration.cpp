#include "DesktopIntegration.h"

#include <QDBusConnection>
#include <QDBusError>

#include "IdleInhibitor.h"
#include "MprisService.h"
#include "PlayerKeys.h"
#include "PlayerLog.h"

DesktopIntegration::DesktopIntegration(WindowActions window, PlaybackController &controller, QObject *parent)
    : QObject(parent)
    , m_window(std::move(window))
    , m_controller(controller)
{
    m_busWorker.setMaxThreadCount(1);
    m_busWorker.setExpiryTimeout(1000); // one connection, then nothing to do
}

DesktopIntegration::~DesktopIntegration()
{
    // A connection still being made is finished first, so that it can be
    // closed below; its answer, posted to this object, goes with it.
    m_busWorker.waitForDone();
    delete m_mpris;
    delete m_inhibitor;
    if (!m_busConnection.isEmpty())
        QDBusConnection::disconnectFromBus(m_busConnection);
}

void DesktopIntegration::join()
{
    if (m_keys)
        return;
    if (m_window.keyTarget) {
        m_keys = new PlayerKeys(*m_window.keyTarget, m_controller, this);
        connect(m_keys, &PlayerKeys::historyRequested, this, &DesktopIntegration::historyRequested);
        connect(m_keys, &PlayerKeys::recordRequested, this, &DesktopIntegration::recordRequested);
    }
    // A connection of its own: a second window, even in one process, is a
    // second media player on the bus.
    m_busConnection = QStringLiteral("lumora-desktop-%1").arg(quintptr(this), 0, 16);
    // The address as the environment gives it now; QtDBus would reuse the
    // one it read first.
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    DesktopIntegration *self = this;
    m_busWorker.start([self, address, name = m_busConnection] {
        const QDBusConnection bus = address.isEmpty()
                                        ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                                        : QDBusConnection::connectToBus(address, name);
        QMetaObject::invokeMethod(self, [self, bus] { self->onBusConnected(bus); }, Qt::QueuedConnection);
    });
}

void DesktopIntegration::onBusConnected(const QDBusConnection &bus)
{
    if (!bus.isConnected()) {
        qCInfo(lcPlayer).noquote() << QStringLiteral("没有 D-Bus 会话总线:不提供桌面媒体控制,也不阻止屏幕变暗(%1)")
                                          .arg(bus.lastError().message());
        Q_EMIT busJoined(false);
        return;
    }
    m_mpris = new MprisService(bus, m_window, m_controller, this);
    m_inhibitor = new IdleInhibitor(bus, m_controller, this);
    Q_EMIT busJoined(true);
}
