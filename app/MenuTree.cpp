#include "MenuTree.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "MenuItemArray.h"

namespace {

struct Submenu
{
    const char *array;
    const char *caption;
};

// The submenus of 广播 from top to bottom; each holds one item array whose
// item 0 bears the submenu's caption.
constexpr Submenu kRadioSubmenus[] = {
    {"ah", "安徽"},
    {"gd", "广东"},
    {"gx", "广西"},
    {"hb", "河北"},
    {"hn", "河南"},
    {"hlj", "黑龙江"},
    {"hubei", "湖北"},
    {"js", "江苏"},
    {"jx", "江西"},
    {"ln", "辽宁"},
    {"sc", "四川"},
    {"sd", "山东"},
    {"cri", "中国国际广播电台"},
    {"cnr", "中央人民广播电台"},
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
    QMenu *gb = addMenu(bar, QStringLiteral("gb"), QStringLiteral("广播"));
    bar->addMenu(gb);
    m_menus.insert(gb->objectName(), gb);
    for (const Submenu &s : kRadioSubmenus) {
        const QString name = QString::fromLatin1(s.array);
        const QString caption = QString::fromUtf8(s.caption);
        QMenu *sub = addMenu(gb, name + QLatin1Char('0'), caption);
        gb->addMenu(sub);
        m_menus.insert(sub->objectName(), sub);
        addArray(name, sub, caption, owner);
    }
    addArray(QStringLiteral("gblist"), gb, QStringLiteral("广播列表"), owner);

    QMenu *tv = addMenu(bar, QStringLiteral("tv"), QStringLiteral("电视"));
    bar->addMenu(tv);
    m_menus.insert(tv->objectName(), tv);
    addArray(QStringLiteral("tvlist"), tv, QStringLiteral("电视列表"), owner);

    QMenu *xs = addMenu(bar, QStringLiteral("xs"), QStringLiteral("相声"));
    bar->addMenu(xs);
    m_menus.insert(xs->objectName(), xs);
    addArray(QStringLiteral("xslist"), xs, QStringLiteral("相声列表"), owner);

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
