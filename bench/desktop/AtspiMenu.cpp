#include "AtspiMenu.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QThread>

namespace {

struct Reference
{
    QString service;
    QDBusObjectPath path;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Reference &r)
{
    argument.beginStructure();
    argument << r.service << r.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Reference &r)
{
    argument.beginStructure();
    argument >> r.service >> r.path;
    argument.endStructure();
    return argument;
}

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");

QDBusConnection accessibilityBus()
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusReply<QString> address = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    if (!address.isValid())
        return QDBusConnection(QString());
    return QDBusConnection::connectToBus(address.value(), QStringLiteral("bench-a11y"));
}

} // namespace

Q_DECLARE_METATYPE(Reference)

AtspiMenu::AtspiMenu()
    : m_bus(accessibilityBus())
{
    qDBusRegisterMetaType<Reference>();
    qDBusRegisterMetaType<QList<Reference>>();
}

QList<AtspiMenu::Node> AtspiMenu::children(const Node &node)
{
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(), kAccessible,
                                                       QStringLiteral("GetChildren"));
    const QDBusReply<QList<Reference>> reply = m_bus.call(call, QDBus::Block, 5000);
    QList<Node> nodes;
    if (reply.isValid()) {
        for (const Reference &r : reply.value())
            nodes.append({r.service, r.path});
    }
    return nodes;
}

QString AtspiMenu::name(const Node &node)
{
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << kAccessible << QStringLiteral("Name");
    const QDBusReply<QDBusVariant> reply = m_bus.call(call, QDBus::Block, 5000);
    return reply.isValid() ? reply.value().variant().toString() : QString();
}

AtspiMenu::Node AtspiMenu::application(qint64 pid, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    const Node registry{QStringLiteral("org.a11y.atspi.Registry"),
                        QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
    while (m_bus.isConnected() && t.elapsed() < timeoutMs) {
        for (const Node &app : children(registry)) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
            call << app.service;
            const QDBusReply<uint> owner = m_bus.call(call, QDBus::Block, 5000);
            if (owner.isValid() && owner.value() == pid)
                return app;
        }
        QThread::msleep(100);
    }
    return {};
}

AtspiMenu::Node AtspiMenu::findBelow(const Node &root, const QString &caption, int depth)
{
    QList<Node> level{root};
    for (int d = 0; d < depth && !level.isEmpty(); ++d) {
        QList<Node> next;
        for (const Node &node : level) {
            for (const Node &child : children(node)) {
                if (name(child) == caption)
                    return child;
                next.append(child);
            }
        }
        level = next;
    }
    return {};
}

AtspiMenu::Node AtspiMenu::find(const Node &root, const QStringList &path)
{
    Node node = root;
    for (const QString &caption : path) {
        node = findBelow(node, caption, 4);
        if (!node.isValid())
            return {};
    }
    return node;
}

void AtspiMenu::press(const Node &item)
{
    QDBusMessage call = QDBusMessage::createMethodCall(item.service, item.path.path(),
                                                       QStringLiteral("org.a11y.atspi.Action"),
                                                       QStringLiteral("DoAction"));
    call << 0;
    m_bus.asyncCall(call, 60000);
}
