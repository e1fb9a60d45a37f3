#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include "ItemArray.h"

class QAction;
class QMenu;

// A row of menu items that share one name and are told apart by index, like
// "ah": item 0 is created with the menu tree, further items are created one
// after the other directly below the last one. A click reports the index.
// Captions are plain text: "&" is no mnemonic and a tab no shortcut column.
class MenuItemArray : public QObject, public ItemArray
{
    Q_OBJECT

public:
    MenuItemArray(const QString &name, QMenu *menu, const QString &designCaption, QObject *parent = nullptr);

    int count() const override { return static_cast<int>(m_items.size()); }
    void createNext() override;
    void setCaption(int index, const QString &caption) override;
    QString caption(int index) const override;

    QMenu *menu() const { return m_menu; }
    QAction *item(int index) const { return m_items.value(index); }

Q_SIGNALS:
    void clicked(qint16 index);

private:
    QAction *makeItem(int index);

    QMenu *m_menu;
    QList<QAction *> m_items;
    QStringList m_captions;
};
