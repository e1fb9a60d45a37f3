#pragma once

#include "MpvCore.h"

struct MpvApi;

// libmpv hands ffmpeg's messages (an HTTP status, a refused connection: what
// tells a failure) to one handle only, the one initialised first while no
// other held them, and to stderr once that handle is gone. So a handle of
// their own, which never plays, holds them for as long as the application
// runs, and they go on to the core that opened a stream last. One per
// process, as ffmpeg's log is.
class FfmpegLogHolder
{
public:
    FfmpegLogHolder() = delete;

    // Makes the holding handle before any core's handle, once; nothing
    // without an application object.
    static void hold(const MpvApi *api, const MpvCore::Options &options);
    // Where the messages go from now on.
    static void readBy(MpvCore *core);
    // Hands out what ffmpeg said so far as the reader's logMessage().
    static void drain();
};
