#pragma once

#include <QString>

// One menu item array as the catalogue sees it: a row of menu items indexed
// from 0, where item 0 exists from the start and further items are created
// one after the other. The main window supplies the real menu; the catalogue
// only needs these four operations.
class ItemArray
{
public:
    virtual ~ItemArray() = default;

    // Number of items the array holds now (1 as created).
    virtual int count() const = 0;
    // Creates item count(), directly after the last item in the same menu.
    virtual void createNext() = 0;
    virtual void setCaption(int index, const QString &caption) = 0;
    virtual QString caption(int index) const = 0;
};
