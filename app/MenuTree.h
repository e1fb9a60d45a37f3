#pragma once

#include <QHash>
#include <QList>
#include <QString>

class MenuItemArray;
class QAction;
class QMenu;
class QMenuBar;
class QObject;

// The fixed menu tree of the main window: 广播 with the fourteen province
// and broadcaster submenus and the radio list, 电视, 相声, and the 关于
// command. Every menu and item array carries its short name as object name.
class MenuTree
{
public:
    MenuTree(QMenuBar *bar, QObject *owner);

    // The seventeen item arrays, in menu order (not load order).
    const QList<MenuItemArray *> &arrays() const { return m_arrays; }
    MenuItemArray *array(const QString &name) const { return m_byName.value(name); }
    QMenu *menu(const QString &name) const { return m_menus.value(name); }
    QAction *about() const { return m_about; }

private:
    MenuItemArray *addArray(const QString &name, QMenu *menu, const QString &designCaption, QObject *owner);

    QList<MenuItemArray *> m_arrays;
    QHash<QString, MenuItemArray *> m_byName;
    QHash<QString, QMenu *> m_menus;
    QAction *m_about = nullptr;
};
