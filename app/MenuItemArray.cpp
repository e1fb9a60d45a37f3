#include "MenuItemArray.h"

#include <QAction>
#include <QMenu>

namespace {

// What QAction shows for a caption that must read exactly as written.
QString displayText(QString caption)
{
    caption.replace(QLatin1Char('&'), QLatin1String("&&"));
    caption.replace(QLatin1Char('\t'), QLatin1String("    "));
    return caption;
}

}

MenuItemArray::MenuItemArray(const QString &name, QMenu *menu, const QString &designCaption, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
{
    setObjectName(name);
    m_items.append(makeItem(0));
    m_captions.append(QString());
    setCaption(0, designCaption);
    menu->addAction(m_items.first());
}

QAction *MenuItemArray::makeItem(int index)
{
    auto *action = new QAction(m_menu);
    action->setObjectName(objectName());
    action->setProperty("index", index);
    action->setMenuRole(QAction::NoRole);
    connect(action, &QAction::triggered, this, [this, index] { Q_EMIT clicked(static_cast<qint16>(index)); });
    return action;
}

void MenuItemArray::createNext()
{
    QAction *last = m_items.last();
    const QList<QAction *> actions = m_menu->actions();
    const qsizetype at = actions.indexOf(last);
    QAction *before = at + 1 < actions.size() ? actions.at(at + 1) : nullptr;
    QAction *action = makeItem(count());
    m_menu->insertAction(before, action);
    m_items.append(action);
    m_captions.append(QString());
}

void MenuItemArray::setCaption(int index, const QString &caption)
{
    if (index < 0 || index >= count())
        return;
    m_captions[index] = caption;
    m_items[index]->setText(displayText(caption));
}

QString MenuItemArray::caption(int index) const
{
    return m_captions.value(index);
}
