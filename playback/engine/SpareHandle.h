#pragma once

#include <QObject>

#include "MpvCore.h"

struct MpvApi;

// A libmpv handle made and initialised on a worker thread before it is
// needed, so that a new stream can start on it at once. Made one at a time;
// a handle that is not taken, or arrives for a core that is gone, is ended
// on a worker.
class SpareHandle : public QObject
{
public:
    SpareHandle(const MpvApi *api, const MpvCore::Options &options);
    ~SpareHandle() override;

    // Starts making one, unless one is ready or on its way.
    void prepare();
    bool isReady() const { return m_mpv != nullptr; }
    // The ready handle, the caller's from now on; null when none is ready.
    mpv_handle *take();

private:
    void adopt(mpv_handle *mpv);

    const MpvApi *m_api;
    MpvCore::Options m_options;
    mpv_handle *m_mpv = nullptr;
    bool m_pending = false;
};
