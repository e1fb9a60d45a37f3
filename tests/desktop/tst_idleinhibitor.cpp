#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <memory>

#include "DemoServerProcess.h"
#include "DesktopIntegration.h"
#include "IdleInhibitor.h"
#include "MediaPlayer.h"
#include "PlaybackController.h"
#include "PlayerRig.h"

namespace {

using Kind = IdleInhibitor::Kind;

// What the stand-in desktop granted, and to whom.
struct Grants
{
    struct Grant
    {
        Kind kind;
        uint cookie;
        QString sender;
    };
    QList<Grant> held;
    int mostHeldAtOnce = 0;
    uint nextCookie = 1;

    QList<Kind> heldBy(const QString &sender) const
    {
        QList<Kind> kinds;
        for (const Grant &g : held) {
            if (g.sender == sender)
                kinds.append(g.kind);
        }
        return kinds;
    }
};

// The desktop's screen saver and power manager as a stand-in on the session
// bus: each Inhibit is a grant until its UnInhibit.
class StandIn : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    StandIn(Kind kind, Grants &grants)
        : m_kind(kind)
        , m_grants(grants)
    {
    }

public Q_SLOTS:
    uint Inhibit(const QString &application, const QString &reason)
    {
        Q_UNUSED(application);
        Q_UNUSED(reason);
        const QString sender = message().service();
        const uint cookie = m_grants.nextCookie++;
        m_grants.held.append({ m_kind, cookie, sender });
        m_grants.mostHeldAtOnce = std::max(m_grants.mostHeldAtOnce, int(m_grants.heldBy(sender).size()));
        return cookie;
    }

    void UnInhibit(uint cookie)
    {
        const QString sender = message().service();
        m_grants.held.removeIf(
            [&](const Grants::Grant &g) { return g.cookie == cookie && g.sender == sender && g.kind == m_kind; });
    }

private:
    Kind m_kind;
    Grants &m_grants;
};

class ScreenSaver : public StandIn
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    using StandIn::StandIn;
};

class PowerManagement : public StandIn
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.PowerManagement.Inhibit")

public:
    using StandIn::StandIn;
};


// The desktop portal's Inhibit as a stand-in: each grant is a request object
// of its own, which the caller closes to let go.
class PortalRequest : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    PortalRequest(uint cookie, Grants &grants)
        : m_cookie(cookie)
        , m_grants(grants)
    {
    }

public Q_SLOTS:
    void Close()
    {
        const QString sender = message().service();
        m_grants.held.removeIf([&](const Grants::Grant &g) { return g.cookie == m_cookie && g.sender == sender; });
    }

private:
    uint m_cookie;
    Grants &m_grants;
};

class Portal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

public:
    explicit Portal(Grants &grants)
        : m_grants(grants)
    {
    }

    QStringList flags; // as asked for: "idle", "suspend"

public Q_SLOTS:
    QDBusObjectPath Inhibit(const QString &window, uint flagBits, const QVariantMap &options)
    {
        Q_UNUSED(window);
        Q_UNUSED(options);
        constexpr uint kSuspend = 4;
        constexpr uint kIdle = 8;
        flags.append(flagBits == kIdle ? QStringLiteral("idle")
                         : flagBits == kSuspend ? QStringLiteral("suspend")
                                                : QString::number(flagBits));
        const QString sender = message().service();
        const uint cookie = m_grants.nextCookie++;
        m_grants.held.append({ flagBits == kIdle ? Kind::Screen : Kind::Sleep, cookie, sender });
        m_grants.mostHeldAtOnce = std::max(m_grants.mostHeldAtOnce, int(m_grants.heldBy(sender).size()));
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/lumora/%1").arg(cookie);
        auto *request = new PortalRequest(cookie, m_grants);
        request->setParent(this);
        connection().registerObject(path, request, QDBusConnection::ExportAllSlots);
        return QDBusObjectPath(path);
    }

private:
    Grants &m_grants;
};
}

// The player keeps the desktop awake while it plays, against a stand-in
// screen saver and power manager, or desktop portal, on the session's own bus.
class TestIdleInhibitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void followsThePlayer_data();
    void followsThePlayer();

private:
    DemoServerProcess m_server;
    Grants m_grants;
    std::unique_ptr<ScreenSaver> m_screenSaver;
    std::unique_ptr<PowerManagement> m_power;
    std::unique_ptr<Portal> m_portal;
};

namespace {

// The bus names a session offers for keeping the desktop awake.
const QStringList kDesktopServices { QStringLiteral("org.freedesktop.ScreenSaver"),
    QStringLiteral("org.freedesktop.PowerManagement") };
const QStringList kPortalServices { QStringLiteral("org.freedesktop.portal.Desktop") };

}

void TestIdleInhibitor::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside tests/session/desktop-session.sh");
    QVERIFY(m_server.start());
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_screenSaver = std::make_unique<ScreenSaver>(Kind::Screen, m_grants);
    m_power = std::make_unique<PowerManagement>(Kind::Sleep, m_grants);
    m_portal = std::make_unique<Portal>(m_grants);
    QVERIFY(bus.registerObject(
        QStringLiteral("/org/freedesktop/ScreenSaver"), m_screenSaver.get(), QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerObject(
        QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"), m_power.get(), QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerObject(
        QStringLiteral("/org/freedesktop/portal/desktop"), m_portal.get(), QDBusConnection::ExportAllSlots));
}

void TestIdleInhibitor::followsThePlayer_data()
{
    QTest::addColumn<QStringList>("services");
    QTest::newRow("screen saver and power manager") << kDesktopServices;
    // A sandbox, or a desktop that offers only the portal: the player asks
    // the portal and closes its request to let go.
    QTest::newRow("desktop portal") << kPortalServices;
}

void TestIdleInhibitor::followsThePlayer()
{
    QFETCH(QStringList, services);
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (const QString &name : services)
        QVERIFY(bus.registerService(name));
    const auto leave = qScopeGuard([&] {
        for (const QString &name : services)
            bus.unregisterService(name);
    });
    m_grants = Grants();
    m_portal->flags.clear();

    auto rig = std::make_unique<PlayerRig>();
    QTRY_VERIFY(rig->desktop->idleInhibitor());
    IdleInhibitor *inhibitor = rig->desktop->idleInhibitor();
    const QString player = inhibitor->busName();
    QVERIFY(!player.isEmpty());
    PlaybackController *controller = rig->player->controller();
    auto granted = [&] { return m_grants.heldBy(player); };
    using Kinds = QList<Kind>;
    QCOMPARE(granted(), Kinds {});

    // Sound only: the machine stays up, the screen may blank.
    rig->player->setURL(m_server.url(QStringLiteral("/radio/1.mp3")));
    QVERIFY(rig->plays(0.5));
    QTRY_COMPARE(granted(), Kinds { Kind::Sleep });

    // TV: the screen stays on instead.
    rig->player->setURL(m_server.url(QStringLiteral("/tv/1.ts")));
    QVERIFY(rig->plays(0.5));
    QTRY_COMPARE(granted(), Kinds { Kind::Screen });
    QCOMPARE(inhibitor->held(), Kind::Screen);

    // Paused, resumed, stopped.
    controller->togglePause();
    QTRY_COMPARE(rig->state(), PlayerState::State::Paused);
    QTRY_COMPARE(granted(), Kinds {});
    controller->togglePause();
    QTRY_COMPARE(granted(), Kinds { Kind::Screen });
    controller->stop();
    QTRY_COMPARE(granted(), Kinds {});

    // A radio entry after TV lets the screen go.
    rig->player->setURL(m_server.url(QStringLiteral("/tv/2.ts")));
    QTRY_COMPARE_WITH_TIMEOUT(granted(), Kinds { Kind::Screen }, 15000);
    rig->player->setURL(m_server.url(QStringLiteral("/radio/2.mp3")));
    QVERIFY(rig->plays(0.5));
    QTRY_COMPARE(granted(), Kinds { Kind::Sleep });

    // A failure.
    rig->player->setURL(m_server.url(QStringLiteral("/fail/404")));
    QTRY_COMPARE_WITH_TIMEOUT(rig->state(), PlayerState::State::Failed, 15000);
    QTRY_COMPARE(granted(), Kinds {});

    // The player goes while it plays.
    rig->player->setURL(m_server.url(QStringLiteral("/radio/3.mp3")));
    QVERIFY(rig->plays(0.5));
    QTRY_COMPARE(granted(), Kinds { Kind::Sleep });
    rig.reset();
    QTRY_COMPARE(granted(), Kinds {});

    QCOMPARE(m_grants.mostHeldAtOnce, 1);
    if (services == kPortalServices) {
        // What was asked for, in the portal's words (a TV stream may sound
        // before its picture is known, and ask for "suspend" first).
        const QString asked = m_portal->flags.join(u' ');
        QVERIFY2(QRegularExpression(QStringLiteral("^suspend( (suspend|idle))* idle( (suspend|idle))*$"))
                     .match(asked)
                     .hasMatch(),
                 qPrintable(asked));
    } else {
        QCOMPARE(m_portal->flags, QStringList());
    }
}

QTEST_MAIN(TestIdleInhibitor)
#include "tst_idleinhibitor.moc"
