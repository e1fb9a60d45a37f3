#include "NowPlayingCaption.h"

namespace NowPlayingCaption {

QString build(const QString &appTitle, const QString &itemCaption)
{
    return appTitle + QStringLiteral(" 正在播放:") + itemCaption;
}

}
