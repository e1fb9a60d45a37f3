#pragma once

#include <QString>

// The caption while an entry plays: the program's title, " 正在播放:" and the
// entry's name as its menu item shows it, nothing else between them.
namespace NowPlayingCaption {

QString build(const QString &appTitle, const QString &itemCaption);

}
