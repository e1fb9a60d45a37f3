#include "SelectionHandler.h"

#include "ChannelGroup.h"
#include "MediaPlayer.h"
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
    // The layout comes first, even for an index that is then turned away.
    m_window.setNormalState();
    MediaPlayer *player = m_window.player();
    player->setTop(kRadioTop);
    player->setLeft(kRadioLeft);
    player->setWidth(kRadioWidth);
    player->setHeight(kRadioHeight);
    if (!accepts(index))
        return false;
    player->open(entry(index, NowPlaying::Kind::Sound));
    writeCaption(index);
    return true;
}

bool SelectionHandler::selectTv(int index)
{
    if (!accepts(index))
        return false;
    const NowPlaying chosen = entry(index, NowPlaying::Kind::Picture);
    m_window.setMaximisedState();
    MediaPlayer *player = m_window.player();
    player->open(chosen);
    player->setLeft(kTvLeft);
    player->setWidth(kTvWidth);
    player->setHeight(kTvHeight);
    writeCaption(index);
    return true;
}

NowPlaying SelectionHandler::entry(int index, NowPlaying::Kind kind) const
{
    // The entry's name as its menu item shows it.
    return NowPlaying{ m_group.menuItems->caption(index), m_group.addressAt(index), kind };
}

void SelectionHandler::writeCaption(int index)
{
    // The program's title, " 正在播放:" and the entry's name, nothing else between them.
    m_window.setCaption(m_window.appTitle() + QString::fromUtf16(kNowPlayingCaption)
                        + m_group.menuItems->caption(index));
}
