#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QString>
#include <QStringList>

// A menu item of another program, reached through its accessibility bridge
// (AT-SPI on the session's accessibility bus) and chosen as a screen reader
// would: the program's own menus and slots, nothing added to it for the
// bench. Qt answers the accessibility action only once the item's slot has
// returned, so choosing does not wait for the answer.
class AtspiMenu
{
public:
    struct Node
    {
        QString service;
        QDBusObjectPath path;
        bool isValid() const { return !service.isEmpty(); }
    };

    AtspiMenu();
    bool isConnected() const { return m_bus.isConnected(); }

    // The root of the program with process id `pid` on the bus, waiting up to
    // `timeoutMs` for it to appear.
    Node application(qint64 pid, int timeoutMs);
    // The item reached from `root` through the captions of `path` (menu bar
    // item, then menu items), each found breadth first below the last.
    Node find(const Node &root, const QStringList &path);
    // Sends the item's first action ("Press") and returns at once.
    void press(const Node &item);

private:
    QList<Node> children(const Node &node);
    QString name(const Node &node);
    Node findBelow(const Node &root, const QString &caption, int depth);

    QDBusConnection m_bus;
};
