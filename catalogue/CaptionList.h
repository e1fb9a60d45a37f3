#pragma once

#include <QString>
#include <QStringList>

#include "ItemArray.h"

// An item array that only holds its captions: what a program without menus
// (the catalogue tools, tests, benchmarks) loads a catalogue into. Item 0
// bears the design caption, as a menu's first item does.
class CaptionList : public ItemArray
{
public:
    explicit CaptionList(const QString &designCaption = QString())
        : m_captions{designCaption}
    {
    }

    int count() const override { return int(m_captions.size()); }
    void createNext() override { m_captions.append(QString()); }
    void setCaption(int index, const QString &caption) override { m_captions[index] = caption; }
    QString caption(int index) const override { return m_captions.value(index); }

    const QStringList &captions() const { return m_captions; }

private:
    QStringList m_captions;
};
