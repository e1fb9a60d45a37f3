#include "SelectionHandler.h"

#include "ChannelGroup.h"
#include "Layouts.h"
#include "MediaPlayer.h"
#include "NowPlayingCaption.h"
#include "PlaybackWindow.h"
#include "PlayerLog.h"

SelectionHandler::SelectionHandler(const ChannelGroup &group, Layout layout, PlaybackWindow &window)
    : m_group(group)
    , m_layout(layout)
    , m_window(window)
{
}

bool SelectionHandler::select(qint16 index)
{
    return m_layout == Layout::Tv ? selectTv(index) : selectRadio(index);
}

bool SelectionHandler::accepts(int index) const
{
    if (index >= 0 && index < m_group.capacity)
        return true;
    qCWarning(lcPlayer).noquote() << QStringLiteral("忽略无效的选择:%1 第 %2 项(有效范围 0 到 %3)")
                                         .arg(m_group.listFile)
                                         .arg(index)
                                         .arg(m_group.capacity - 1);
    return false;
}

bool SelectionHandler::selectRadio(int index)
{
    RadioLayout::apply(m_window);
    if (!accepts(index))
        return false;
    m_window.player()->setURL(m_group.addressAt(index));
    writeCaption(index);
    return true;
}

bool SelectionHandler::selectTv(int index)
{
    if (!accepts(index))
        return false;
    const QString address = m_group.addressAt(index);
    TvLayout::maximise(m_window);
    m_window.player()->setURL(address);
    TvLayout::placePlayer(m_window);
    writeCaption(index);
    return true;
}

void SelectionHandler::writeCaption(int index)
{
    m_window.setCaption(NowPlayingCaption::build(m_window.appTitle(), m_group.menuItems->caption(index)));
}
