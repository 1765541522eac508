#include "sim/camsim_pacer.h"

#include <algorithm>
#include <utility>

namespace camsim {

namespace {

using std::chrono::nanoseconds;

constexpr std::int64_t kNanosPerSecond = 1000000000;

std::size_t WireBytesIn(std::chrono::milliseconds span)
{
    return static_cast<std::size_t>(span.count()) * kBytesPerSecond / 1000;
}

} // namespace

std::uint64_t WireBytesBy(TimePoint origin, TimePoint now)
{
    if (now <= origin)
        return 0;
    const auto ns = std::chrono::duration_cast<nanoseconds>(now - origin).count();
    // Whole seconds and the rest apart, so that a long-running wire cannot
    // overflow the product.
    return static_cast<std::uint64_t>(ns / kNanosPerSecond) * kBytesPerSecond
        + static_cast<std::uint64_t>(ns % kNanosPerSecond) * kBytesPerSecond / kNanosPerSecond;
}

TimePoint WireOriginFor(TimePoint now, std::uint64_t bytes)
{
    const std::uint64_t seconds = bytes / kBytesPerSecond;
    const std::uint64_t rest = bytes % kBytesPerSecond;
    // Rounded up, so that WireBytesBy(origin, now) is `bytes` exactly.
    const auto restNs = static_cast<std::int64_t>((rest * kNanosPerSecond + kBytesPerSecond - 1) / kBytesPerSecond);
    return now - std::chrono::seconds(static_cast<std::int64_t>(seconds)) - nanoseconds(restNs);
}

RelayMove PlanRelayMove(TimePoint now, TimePoint origin, std::uint64_t delivered, std::size_t queued,
                        std::optional<std::size_t> unread, bool fast)
{
    RelayMove move;
    std::size_t want = queued;
    if (unread) {
        const std::size_t room = *unread >= kMaxUnread ? 0 : kMaxUnread - *unread;
        if (room < want) {
            want = room;
            move.heldBack = true;
        }
    }
    if (!fast) {
        const std::uint64_t carried = WireBytesBy(origin, now);
        std::uint64_t due = carried > delivered ? carried - delivered : 0;
        if (due > kMaxBurst) {
            move.newOrigin = WireOriginFor(now, delivered + kMaxBurst);
            due = kMaxBurst;
        }
        want = std::min<std::size_t>(want, static_cast<std::size_t>(due));
    }
    move.bytes = want;
    return move;
}

ReplyPacer::ReplyPacer(bool fast, std::chrono::milliseconds lead)
    : m_queueTarget(fast ? kFastQueue : WireBytesIn(lead + kFeedTick))
{
}

void ReplyPacer::start(ReplyPlan plan, TimePoint now, TimePoint arrival)
{
    m_plan = std::move(plan);
    m_queued = 0;
    m_active = m_plan.total > 0;
    m_pausedUntil.reset();
    m_startedAt = now;
    m_restart = true;
    m_flowSince = std::min(arrival, now);
    m_arrival = std::min(arrival, now);
    m_released = released(now);
    if (m_settleUntil)
        m_flushAt = *m_settleUntil;
}

void ReplyPacer::consoleLeft(TimePoint now)
{
    stop();
    m_settleUntil = now + kSettle;
}

void ReplyPacer::stop()
{
    m_plan = ReplyPlan {};
    m_queued = 0;
    m_active = false;
    m_restart = false;
    m_pausedUntil.reset();
    m_flushAt.reset();
}

void ReplyPacer::flushed()
{
    // The reply stays due from its command's arrival: the console counts
    // from its command, not from camsim's settle. A settle and flush on time
    // take some 10 ms; a stop of camsim before or during them counts as a
    // gap from the arrival on.
    m_flushAt.reset();
    m_settleUntil.reset();
}

std::size_t ReplyPacer::released(TimePoint now) const
{
    for (const ReplyPlan::Release &release : m_plan.releases) {
        if (now < m_arrival + release.after)
            return release.offset;
    }
    return m_plan.total;
}

std::size_t ReplyPacer::limit() const
{
    std::size_t limit = std::min(m_plan.total, m_released);
    if (m_plan.pauseAt != ReplyPlan::kNever)
        limit = std::min(limit, m_plan.pauseAt);
    if (m_plan.hangupAt != ReplyPlan::kNever)
        limit = std::min(limit, m_plan.hangupAt);
    return limit;
}

bool ReplyPacer::flowing() const
{
    return m_active && !m_flushAt && !m_pausedUntil && m_queued < limit();
}

ReplyPacer::Step ReplyPacer::step(TimePoint now, std::size_t queued, TimePoint lastDelivery)
{
    Step step;
    if (!m_active || m_flushAt)
        return step;
    if (m_restart) {
        m_restart = false;
        step.restartWire = true;
        step.flowSince = m_flowSince;
    }

    // The pause starts when the byte before it went into the pty.
    if (m_plan.pauseAt != ReplyPlan::kNever && m_queued == m_plan.pauseAt && queued == 0) {
        m_plan.pauseAt = ReplyPlan::kNever;
        m_pausedUntil = std::max(lastDelivery, m_startedAt) + std::chrono::milliseconds(kPauseMs);
    }
    if (m_pausedUntil) {
        if (now < *m_pausedUntil)
            return step;
        step.restartWire = true;
        step.flowSince = *m_pausedUntil;
        m_pausedUntil.reset();
    }

    if (m_queued >= m_plan.total && queued == 0) {
        m_active = false;
        return step;
    }
    // A replayed reply's next piece: its bytes are due from its release on,
    // so the wait before it is no gap.
    if (const std::size_t nowReleased = released(now); nowReleased > m_released) {
        for (const ReplyPlan::Release &release : m_plan.releases) {
            if (release.offset == m_released) {
                step.flowSince = m_arrival + release.after;
            }
        }
        m_released = nowReleased;
    }
    const std::size_t room = m_queueTarget > queued ? m_queueTarget - queued : 0;
    step.feed = std::min(limit() - m_queued, room);
    return step;
}

void ReplyPacer::queuedBytes(std::size_t count)
{
    m_queued += count;
}

std::optional<TimePoint> ReplyPacer::wakeAt(TimePoint now) const
{
    if (m_flushAt)
        return *m_flushAt;
    if (!m_active)
        return std::nullopt;
    if (m_pausedUntil)
        return *m_pausedUntil;
    return now + kFeedTick;
}

} // namespace camsim
