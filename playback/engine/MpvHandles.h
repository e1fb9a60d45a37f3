#pragma once

#include <QByteArray>
#include <QString>

#include <mpv/client.h>

#include "MpvCore.h"

class QThreadPool;
struct MpvApi;

// Making and ending libmpv handles, whoever holds them: every handle is set
// up isolated from the user's own mpv configuration and sized for live radio,
// and ending one (which waits for its threads, and they for the network)
// happens on a worker thread.
namespace MpvHandles {

// Whether a handle counts among alive(): the players' own do, a handle kept
// aside for another purpose does not.
enum class Count { Player, Aside };

// A new, initialised handle, or null with the reason in *error.
mpv_handle *create(const MpvApi *api, const MpvCore::Options &options, QString *error, Count count = Count::Player);
// Ends a player's handle on this thread.
void destroy(const MpvApi *api, mpv_handle *mpv);
// Ends a player's handle on a worker thread (on this one without an application).
void destroyOnWorker(const MpvApi *api, mpv_handle *mpv);
// The threads that make and end handles, owned by the application, whose
// end waits for whatever they are still doing; null without an application.
QThreadPool *workers();
// The players' handles alive in this process: in use, spare, or being ended.
int alive();
// The value every handle starts with for one of the options set here, or empty.
QByteArray defaultOption(const char *name);

}
