#include "Layouts.h"

#include "MediaPlayer.h"
#include "PlaybackWindow.h"

namespace RadioLayout {

void apply(PlaybackWindow &window)
{
    window.setNormalState();
    MediaPlayer *player = window.player();
    player->setTop(kTop);
    player->setLeft(kLeft);
    player->setWidth(kWidth);
    player->setHeight(kHeight);
}

}

namespace TvLayout {

void maximise(PlaybackWindow &window)
{
    window.setMaximisedState();
}

void placePlayer(PlaybackWindow &window)
{
    MediaPlayer *player = window.player();
    player->setLeft(kLeft);
    player->setWidth(kWidth);
    player->setHeight(kHeight);
}

}
