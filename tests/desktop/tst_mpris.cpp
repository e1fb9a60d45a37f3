#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include "ControlBar.h"
#include "DemoServerProcess.h"
#include "DesktopIntegration.h"
#include "MediaPlayer.h"
#include "MprisService.h"
#include "PlaybackController.h"
#include "PlayerRig.h"

namespace {

const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");

// A D-Bus value as plain Qt types: variants unwrapped, a{sv} as a map.
QVariant plain(const QVariant &value)
{
    if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        return plain(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("a{sv}")) {
            QVariantMap map = qdbus_cast<QVariantMap>(argument);
            for (auto it = map.begin(); it != map.end(); ++it)
                it.value() = plain(it.value());
            return map;
        }
        if (argument.currentSignature() == QLatin1String("as"))
            return qdbus_cast<QStringList>(argument);
    }
    return value;
}

// Every PropertiesChanged of one player, in the order they came.
class Announcements : public QObject
{
    Q_OBJECT

public:
    explicit Announcements(const QString &service)
    {
        QVERIFY(QDBusConnection::sessionBus().connect(service, kPath, kProperties, QStringLiteral("PropertiesChanged"),
            this, SLOT(changed(QString, QVariantMap, QStringList))));
    }

    QList<QVariant> values(const QString &name) const
    {
        QList<QVariant> out;
        for (const QVariantMap &m : m_changes) {
            if (m.contains(name))
                out.append(m.value(name));
        }
        return out;
    }
    QVariant last(const QString &name) const { return values(name).value(values(name).size() - 1); }
    void clear() { m_changes.clear(); }

public Q_SLOTS:
    void changed(const QString &interface, const QVariantMap &properties, const QStringList &)
    {
        QVariantMap map;
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            map.insert(interface + QLatin1Char('.') + it.key(), plain(it.value()));
        m_changes.append(map);
    }

private:
    QList<QVariantMap> m_changes;
};

}

// The player's MPRIS interfaces on the session's bus, called as a desktop's
// media controls call them: through the bus daemon, to the real player.
class TestMpris : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void describesItself();
    void followsAndControlsThePlayer();
    void quitClosesTheWindow();
    void secondPlayerHasItsOwnName();
    void playsWithoutSessionBus();

private:
    // The player's bus name, once it holds one.
    static QString busName(const PlayerRig &rig);
    static QDBusMessage call(
        const QString &service, const QString &interface, const QString &method, const QVariantList &args = {});
    static QVariant get(const QString &service, const QString &interface, const QString &name);
    static bool set(const QString &service, const QString &name, const QVariant &value);

    DemoServerProcess m_server;
};

void TestMpris::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside tests/session/desktop-session.sh");
    QVERIFY(m_server.start());
}

QString TestMpris::busName(const PlayerRig &rig)
{
    QString name;
    if (!QTest::qWaitFor([&] { return rig.desktop->mpris() && !(name = rig.desktop->mpris()->busName()).isEmpty(); }))
        return {};
    return name;
}

QDBusMessage TestMpris::call(
    const QString &service, const QString &interface, const QString &method, const QVariantList &args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, kPath, interface, method);
    message.setArguments(args);
    // The player answers on this thread: wait with its events running.
    return QDBusConnection::sessionBus().call(message, QDBus::BlockWithGui);
}

QVariant TestMpris::get(const QString &service, const QString &interface, const QString &name)
{
    const QDBusMessage reply = call(service, kProperties, QStringLiteral("Get"), { interface, name });
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return plain(reply.arguments().value(0));
}

bool TestMpris::set(const QString &service, const QString &name, const QVariant &value)
{
    const QDBusMessage reply = call(
        service, kProperties, QStringLiteral("Set"), { kPlayer, name, QVariant::fromValue(QDBusVariant(value)) });
    return reply.type() == QDBusMessage::ReplyMessage;
}

void TestMpris::describesItself()
{
    PlayerRig rig;
    const QString name = busName(rig);
    QVERIFY(name.startsWith(QLatin1String(MprisService::kBaseName)));
    QCOMPARE(get(name, kRoot, QStringLiteral("Identity")).toString(), QStringLiteral("Lumora"));
    QCOMPARE(get(name, kRoot, QStringLiteral("DesktopEntry")).toString(), QStringLiteral("org.example.lumora"));
    QCOMPARE(get(name, kRoot, QStringLiteral("CanRaise")).toBool(), true);
    QCOMPARE(get(name, kRoot, QStringLiteral("CanQuit")).toBool(), true);
    QCOMPARE(get(name, kPlayer, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    // Nothing is chosen yet: nothing to play or control.
    for (const char *can : { "CanPlay", "CanPause", "CanControl", "CanSeek", "CanGoNext", "CanGoPrevious" })
        QVERIFY2(!get(name, kPlayer, QLatin1String(can)).toBool(), can);
    QCOMPARE(get(name, kPlayer, QStringLiteral("Volume")).toDouble(), 0.5);
}

void TestMpris::followsAndControlsThePlayer()
{
    PlayerRig rig;
    const QString name = busName(rig);
    QVERIFY(!name.isEmpty());
    Announcements heard(name);
    auto status = [&] { return heard.last(kPlayer + QStringLiteral(".PlaybackStatus")).toString(); };
    auto metadata = [&] { return heard.last(kPlayer + QStringLiteral(".Metadata")).toMap(); };

    // As the program chooses an entry: its name with its address.
    const QString radio = m_server.url(QStringLiteral("/radio/1.mp3"));
    rig.player->open(NowPlaying{ QStringLiteral("演示一台"), radio });
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Playing"), 10000);
    QVERIFY(rig.plays(1.0));
    for (const char *can : { "CanPlay", "CanPause", "CanControl" })
        QVERIFY2(get(name, kPlayer, QLatin1String(can)).toBool(), can);
    QVERIFY(!get(name, kPlayer, QStringLiteral("CanSeek")).toBool());
    // The entry's name until the stream sends its title, then the title.
    bool named = false;
    for (const QVariant &m : heard.values(kPlayer + QStringLiteral(".Metadata")))
        named = named || m.toMap().value(QStringLiteral("xesam:title")).toString() == QStringLiteral("演示一台");
    QVERIFY(named);
    QTRY_VERIFY_WITH_TIMEOUT(
        metadata().value(QStringLiteral("xesam:title")).toString().startsWith(QStringLiteral("演示电台 1 - 第 ")),
        10000);
    QVariantMap now = get(name, kPlayer, QStringLiteral("Metadata")).toMap();
    QCOMPARE(now.value(QStringLiteral("xesam:title")), metadata().value(QStringLiteral("xesam:title")));
    QCOMPARE(now.value(QStringLiteral("xesam:artist")).toStringList(), QStringList { QStringLiteral("演示一台") });
    QCOMPARE(now.value(QStringLiteral("xesam:url")).toString(), radio);
    const QString firstTrack = now.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    QVERIFY(!firstTrack.isEmpty());

    // The volume both ways: set on the bus it moves the bar's slider; moved
    // on the slider it is announced.
    auto *slider = rig.player->controlBar()->findChild<QSlider *>(QStringLiteral("volume"));
    QVERIFY(set(name, QStringLiteral("Volume"), 0.3));
    QCOMPARE(rig.player->controller()->state().volume(), 30);
    QCOMPARE(slider->value(), 30);
    QTRY_COMPARE(heard.last(kPlayer + QStringLiteral(".Volume")).toDouble(), 0.3);
    slider->setValue(70);
    QTRY_COMPARE(heard.last(kPlayer + QStringLiteral(".Volume")).toDouble(), 0.7);
    QCOMPARE(get(name, kPlayer, QStringLiteral("Volume")).toDouble(), 0.7);

    // The control bar's commands.
    struct Step
    {
        const char *method;
        const char *status;
    };
    for (const Step &step : { Step { "Pause", "Paused" }, Step { "Play", "Playing" }, Step { "PlayPause", "Paused" },
             Step { "PlayPause", "Playing" }, Step { "Stop", "Stopped" }, Step { "Play", "Playing" } }) {
        QCOMPARE(call(name, kPlayer, QLatin1String(step.method)).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QLatin1String(step.status), 10000);
        QCOMPARE(get(name, kPlayer, QStringLiteral("PlaybackStatus")).toString(), QLatin1String(step.status));
    }
    QVERIFY(rig.plays(0.5));

    // Another entry: the old stream's title goes at once.
    heard.clear();
    rig.player->open(NowPlaying{ QStringLiteral("演示二台"), m_server.url(QStringLiteral("/radio/2.mp3")) });
    QTRY_COMPARE(metadata().value(QStringLiteral("xesam:title")).toString(), QStringLiteral("演示二台"));
    for (const QVariant &m : heard.values(kPlayer + QStringLiteral(".Metadata")))
        QVERIFY(!m.toMap().value(QStringLiteral("xesam:title")).toString().startsWith(QStringLiteral("演示电台 1")));
    QVERIFY(metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path() != firstTrack);
    QTRY_VERIFY_WITH_TIMEOUT(
        metadata().value(QStringLiteral("xesam:title")).toString().startsWith(QStringLiteral("演示电台 2 - 第 ")),
        15000);
}

void TestMpris::quitClosesTheWindow()
{
    PlayerRig rig;
    const QString name = busName(rig);
    QVERIFY(!name.isEmpty());
    QCOMPARE(call(name, kRoot, QStringLiteral("Raise")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(rig.host.isVisible());
    QCOMPARE(call(name, kRoot, QStringLiteral("Quit")).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY(!rig.host.isVisible());
}

void TestMpris::secondPlayerHasItsOwnName()
{
    PlayerRig first;
    PlayerRig second;
    const QString one = busName(first);
    const QString two = busName(second);
    QVERIFY(!one.isEmpty() && !two.isEmpty());
    QVERIFY(one != two);
    QVERIFY(two.startsWith(QLatin1String(MprisService::kBaseName)));
    // Independent: one plays, the other stays as it was.
    first.player->setURL(m_server.url(QStringLiteral("/radio/3.mp3")));
    QVERIFY(first.plays(0.5));
    QCOMPARE(get(one, kPlayer, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
    QCOMPARE(get(two, kPlayer, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
}

void TestMpris::playsWithoutSessionBus()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumora-no-bus");
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^没有 D-Bus 会话总线")));
    {
        PlayerRig rig;
        QTRY_VERIFY(rig.desktop->keys());
        QVERIFY(!rig.desktop->mpris());
        rig.player->setURL(m_server.url(QStringLiteral("/radio/4.mp3")));
        QVERIFY(rig.plays(1.0));
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"
