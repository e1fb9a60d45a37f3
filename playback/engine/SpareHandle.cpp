#include "SpareHandle.h"

#include <memory>
#include <utility>

#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include "MpvHandles.h"
#include "PlayerLog.h"

namespace {

// A handle on its way from a worker to its owner; ended on a worker if the
// owner is gone before it arrives.
struct HandleOnItsWay
{
    const MpvApi *api = nullptr;
    mpv_handle *mpv = nullptr;
    ~HandleOnItsWay()
    {
        if (mpv)
            MpvHandles::destroyOnWorker(api, mpv);
    }
};

}

SpareHandle::SpareHandle(const MpvApi *api, const MpvCore::Options &options)
    : m_api(api)
    , m_options(options)
{
}

SpareHandle::~SpareHandle()
{
    if (m_mpv)
        MpvHandles::destroyOnWorker(m_api, m_mpv);
}

void SpareHandle::prepare()
{
    if (m_mpv || m_pending)
        return;
    QThreadPool *pool = MpvHandles::workers();
    if (!pool)
        return;
    m_pending = true;
    // Ahead of any handle waiting to be destroyed: the next choice may come
    // any moment. The answer goes through the pool, which lives on the
    // owner's thread and outlives every job it runs (the application object
    // does not: its end waits for the workers after it is gone); a spare
    // whose owner is gone by then is destroyed with the call.
    QPointer<SpareHandle> self(this);
    pool->start(
        [self, pool, api = m_api, options = m_options] {
            auto spare = std::make_shared<HandleOnItsWay>();
            spare->api = api;
            QString error;
            spare->mpv = MpvHandles::create(api, options, &error);
            if (!spare->mpv)
                qCWarning(lcPlayer).noquote() << QStringLiteral("没有备用播放引擎:%1").arg(error);
            QMetaObject::invokeMethod(
                pool,
                [self, spare] {
                    if (!self)
                        return;
                    self->m_pending = false;
                    if (spare->mpv)
                        self->adopt(std::exchange(spare->mpv, nullptr));
                },
                Qt::QueuedConnection);
        },
        1);
}

mpv_handle *SpareHandle::take()
{
    return std::exchange(m_mpv, nullptr);
}

void SpareHandle::adopt(mpv_handle *mpv)
{
    if (m_mpv) {
        MpvHandles::destroyOnWorker(m_api, mpv);
        return;
    }
    m_mpv = mpv;
}
