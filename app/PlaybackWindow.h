#pragma once

#include <QString>

class MediaPlayer;

// What a selection does to the main window: its state, its caption, and the
// player inside it. The main window implements it.
class PlaybackWindow
{
public:
    virtual ~PlaybackWindow() = default;

    virtual QString appTitle() const = 0;
    virtual void setCaption(const QString &caption) = 0;
    virtual void setNormalState() = 0;
    virtual void setMaximisedState() = 0;
    virtual MediaPlayer *player() const = 0;
};
