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
    connect(m_core, &MpvCore::playbackRestarted, this, &LiveBuffer::onPlaybackRestarted);
}

void LiveBuffer::onStateChanged()
{
    if (!m_state.isOpen()) {
        release();
        giveBack();
    } else if (m_state.state() == PlayerState::State::Paused && !m_state.isSeekable()) {
        hold();
        setBudget(m_limits.bytes + kSlackBytes);
    } else if (m_holding && m_state.state() == PlayerState::State::Playing && m_forwardBytes >= 0) {
        // Playing behind live, what lies ahead stays as it is; room beyond
        // it is only for what has just played, and that need not grow.
        setBudget(m_forwardBytes + kSlackBytes);
    }
}

void LiveBuffer::onPlaybackRestarted()
{
    m_dropping = false;
    if (m_giveBackOnRestart)
        giveBack();
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
    m_enlarged = true;
    m_giveBackOnRestart = false;
    m_budget = -1;
    m_lead = -1;
    m_cacheEnd = -1;
    m_forwardBytes = -1;
    m_dropping = false;
    const QString seconds = QString::number(m_limits.seconds + kSlackSeconds);
    m_core->setProperty("cache-secs", seconds);
    m_core->setProperty("demuxer-readahead-secs", seconds);
    // What lies behind the play position may use whatever the budget
    // leaves, so that a jump ahead (going live, or letting the oldest part
    // go) keeps the part it skips until the engine plays from the new
    // position. libmpv looks up the title of a position among the titles of
    // what it holds: when the skipped part, and the old title with it, is
    // dropped before it has looked, it sees no change and shows the old title
    // until the next song.
    m_core->setProperty("demuxer-donate-buffer", QStringLiteral("yes"));
    // The first report comes at once: what lies ahead at the live edge.
    m_core->observe(kCacheState, MPV_FORMAT_NODE);
}

void LiveBuffer::release()
{
    if (!m_holding)
        return;
    m_holding = false;
    if (m_core)
        m_core->unobserve(kCacheState);
    m_state.setBehindLive(0);
}

void LiveBuffer::giveBack()
{
    m_giveBackOnRestart = false;
    if (!m_core || !m_enlarged)
        return;
    m_enlarged = false;
    m_budget = -1;
    m_core->setProperty("demuxer-max-bytes", QString::fromLatin1(MpvCore::defaultOption("demuxer-max-bytes")));
    const QString seconds = QString::fromLatin1(MpvCore::defaultOption("cache-secs"));
    m_core->setProperty("cache-secs", seconds);
    m_core->setProperty("demuxer-readahead-secs", seconds);
    m_core->setProperty("demuxer-donate-buffer", QString::fromLatin1(MpvCore::defaultOption("demuxer-donate-buffer")));
}

void LiveBuffer::setBudget(qint64 bytes)
{
    if (!m_core || !m_enlarged || bytes == m_budget)
        return;
    m_budget = bytes;
    m_core->setProperty("demuxer-max-bytes", QString::number(bytes));
}

void LiveBuffer::follow(const QVariantMap &cache)
{
    const double ahead = cache.value(QStringLiteral("cache-duration")).toDouble();
    if (m_lead < 0) {
        // Without a range to seek in, what is held cannot be skipped nor
        // left for live: a plain pause.
        if (cache.value(QStringLiteral("seekable-ranges")).toList().isEmpty()) {
            release();
            giveBack();
            return;
        }
        m_lead = ahead;
    }
    m_cacheEnd = cache.value(QStringLiteral("cache-end")).toDouble();
    const double behind = std::max(0.0, ahead - m_lead);
    const qint64 bytes = cache.value(QStringLiteral("fw-bytes")).toLongLong();
    m_forwardBytes = bytes;
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
    const bool jumps = m_cacheEnd >= 0;
    if (jumps) {
        const double target = m_cacheEnd - std::max(m_lead, kMinimumLead);
        m_core->command({ QStringLiteral("seek"), QString::number(target, 'f', 3), QStringLiteral("absolute") });
    }
    release();
    // What was held goes once the engine plays from the live edge, not
    // before: see hold().
    if (jumps)
        m_giveBackOnRestart = true;
    else
        giveBack();
    if (m_state.state() == PlayerState::State::Paused)
        m_core->setProperty("pause", false);
}
