#include "LiveBuffer.h"

#include <algorithm>
#include <cmath>

#include "MpvCore.h"
#include "PlayerState.h"

namespace {

// Room the engine is given beyond the limits, so that it goes on reading
// while the oldest part is let go.
constexpr double kSlackSeconds = 60;
constexpr qint64 kSlackBytes = 4ll * 1024 * 1024;
// How much of the limit goes at once when it is reached.
constexpr double kDropShare = 0.05;
// At least this much stays ahead of the play position after going live, so
// that it does not start by waiting for data.
constexpr double kMinimumLead = 1.0;

const char kCacheState[] = "demuxer-cache-state";

} // namespace

LiveBuffer::LiveBuffer(PlayerState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{
    connect(&m_state, &PlayerState::stateChanged, this, &LiveBuffer::onStateChanged);
}

void LiveBuffer::attach(MpvCore *core)
{
    if (m_core == core)
        return;
    m_core = core;
    connect(m_core, &MpvCore::propertyChanged, this, &LiveBuffer::onPropertyChanged);
    connect(m_core, &MpvCore::playbackRestarted, this, [this] { m_dropping = false; });
}

void LiveBuffer::onStateChanged()
{
    if (!m_state.isOpen())
        release();
    else if (m_state.state() == PlayerState::State::Paused && !m_state.isSeekable())
        hold();
}

void LiveBuffer::onPropertyChanged(const QString &name, const QVariant &value)
{
    if (name == QLatin1String(kCacheState) && m_holding)
        follow(value.toMap());
}

void LiveBuffer::hold()
{
    if (!m_core || m_holding)
        return;
    m_holding = true;
    m_lead = -1;
    m_cacheEnd = -1;
    m_dropping = false;
    setReadAhead(m_limits.bytes + kSlackBytes, m_limits.seconds + kSlackSeconds);
    // The first report comes at once: what lies ahead at the live edge.
    m_core->observe(kCacheState, MPV_FORMAT_NODE);
}

void LiveBuffer::release()
{
    if (!m_holding)
        return;
    m_holding = false;
    if (m_core) {
        m_core->unobserve(kCacheState);
        setReadAhead(MpvCore::defaultOption("demuxer-max-bytes"), MpvCore::defaultOption("cache-secs"));
    }
    m_state.setBehindLive(0);
}

void LiveBuffer::setReadAhead(const QVariant &bytes, const QVariant &seconds)
{
    m_core->setProperty("demuxer-max-bytes", bytes.toString());
    m_core->setProperty("cache-secs", seconds.toString());
    m_core->setProperty("demuxer-readahead-secs", seconds.toString());
}

void LiveBuffer::follow(const QVariantMap &cache)
{
    const double ahead = cache.value(QStringLiteral("cache-duration")).toDouble();
    if (m_lead < 0) {
        // Without a range to seek in, what is held cannot be skipped nor
        // left for live: a plain pause.
        if (cache.value(QStringLiteral("seekable-ranges")).toList().isEmpty()) {
            release();
            return;
        }
        m_lead = ahead;
    }
    m_cacheEnd = cache.value(QStringLiteral("cache-end")).toDouble();
    const double behind = std::max(0.0, ahead - m_lead);
    const qint64 bytes = cache.value(QStringLiteral("fw-bytes")).toLongLong();
    if (m_state.state() == PlayerState::State::Paused && !m_dropping
        && (behind >= m_limits.seconds || bytes >= m_limits.bytes)) {
        // Full: the oldest part goes, a share of the limit at a time.
        const double drop = std::max(1.0, std::min(behind, m_limits.seconds) * kDropShare);
        m_dropping = true;
        m_core->command({ QStringLiteral("seek"), QString::number(drop, 'f', 3), QStringLiteral("relative+exact") });
    }
    m_state.setBehindLive(int(std::floor(behind)));
}

void LiveBuffer::goLive()
{
    if (!m_holding || !m_core)
        return;
    if (m_cacheEnd >= 0) {
        const double target = m_cacheEnd - std::max(m_lead, kMinimumLead);
        m_core->command({ QStringLiteral("seek"), QString::number(target, 'f', 3), QStringLiteral("absolute") });
    }
    release();
    if (m_state.state() == PlayerState::State::Paused)
        m_core->setProperty("pause", false);
}
