#include "MenuTree.h"

#include <algorithm>
#include <vector>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "GroupTable.h"
#include "MenuItemArray.h"

namespace {

struct TopMenu
{
    const char *name;
    const char *caption;
};

// The menus of the menu bar from left to right; the groups of GroupTable
// name the one they sit in.
constexpr TopMenu kTopMenus[] = {
    {"gb", "广播"},
    {"tv", "电视"},
    {"xs", "相声"},
};

QMenu *addMenu(QWidget *parent, const QString &name, const QString &caption)
{
    auto *menu = new QMenu(caption, parent);
    menu->setObjectName(name);
    return menu;
}

}

MenuTree::MenuTree(QMenuBar *bar, QObject *owner)
{
    for (const TopMenu &top : kTopMenus) {
        QMenu *menu = addMenu(bar, QString::fromLatin1(top.name), QString::fromUtf8(top.caption));
        bar->addMenu(menu);
        m_menus.insert(menu->objectName(), menu);
    }

    std::vector<const GroupDefinition *> inMenuOrder;
    for (const GroupDefinition &definition : GroupTable::groups())
        inMenuOrder.push_back(&definition);
    std::sort(inMenuOrder.begin(), inMenuOrder.end(),
              [](const GroupDefinition *a, const GroupDefinition *b) { return a->menuPosition < b->menuPosition; });
    for (const GroupDefinition *definition : inMenuOrder) {
        const QString name = definition->arrayName;
        const QString caption = definition->designCaption.toString();
        QMenu *menu = m_menus.value(definition->parentMenu);
        if (definition->ownSubmenu) {
            // Item 0 of the array bears the submenu's caption.
            QMenu *sub = addMenu(menu, name + QLatin1Char('0'), caption);
            menu->addMenu(sub);
            m_menus.insert(sub->objectName(), sub);
            menu = sub;
        }
        addArray(name, menu, caption, owner);
    }

    m_about = bar->addAction(QStringLiteral("关于"));
    m_about->setObjectName(QStringLiteral("about"));
    m_about->setMenuRole(QAction::NoRole);
}

MenuItemArray *MenuTree::addArray(const QString &name, QMenu *menu, const QString &designCaption, QObject *owner)
{
    auto *array = new MenuItemArray(name, menu, designCaption, owner);
    m_arrays.append(array);
    m_byName.insert(name, array);
    return array;
}
