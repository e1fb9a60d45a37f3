#pragma once

#include <QString>

// The entry being played, as the selection made it: the name the user chose it
// by, the address handed to the engine, and whether it is a picture or only
// sound. It is made once per choice and handed down; whoever needs to show or
// announce the entry reads it here, never from the window caption.
struct NowPlaying
{
    enum class Kind
    {
        Sound,   // radio and crosstalk: the player is a bar
        Picture, // TV: the player is a video area
    };

    QString name;
    QString address;
    Kind kind = Kind::Sound;

    bool isEmpty() const { return address.isEmpty(); }
    friend bool operator==(const NowPlaying &, const NowPlaying &) = default;
};

// The caption's words between the program's title and the entry's name.
inline constexpr char16_t kNowPlayingCaption[] = u" 正在播放:";
