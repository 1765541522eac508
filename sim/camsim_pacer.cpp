#include "sim/camsim_pacer.h"

#include <algorithm>
#include <utility>

namespace camsim {

void ReplyPacer::start(ReplyPlan plan, TimePoint now)
{
    m_plan = std::move(plan);
    m_sent = 0;
    m_active = m_plan.total > 0;
    m_pausedUntil.reset();
    if (m_settleUntil)
        m_flushAt = *m_settleUntil;
    m_credit = 1.0; // the first byte goes out at once
    m_lastPace = now;
}

void ReplyPacer::consoleLeft(TimePoint now)
{
    stop();
    m_settleUntil = now + kSettle;
}

void ReplyPacer::stop()
{
    m_plan = ReplyPlan {};
    m_sent = 0;
    m_active = false;
    m_pausedUntil.reset();
    m_flushAt.reset();
}

void ReplyPacer::flushed(TimePoint now)
{
    m_flushAt.reset();
    m_settleUntil.reset();
    m_credit = 1.0;
    m_lastPace = now;
}

std::size_t ReplyPacer::due(TimePoint now, std::optional<std::size_t> unread)
{
    if (!m_active || m_flushAt)
        return 0;
    if (m_pausedUntil) {
        if (now < *m_pausedUntil)
            return 0;
        m_pausedUntil.reset();
        m_credit = 1.0;
        m_lastPace = now;
    }

    std::size_t limit = m_plan.total;
    if (m_plan.pauseAt != ReplyPlan::kNever && m_sent < m_plan.pauseAt)
        limit = std::min(limit, m_plan.pauseAt);
    if (m_plan.hangupAt != ReplyPlan::kNever)
        limit = std::min(limit, m_plan.hangupAt);
    std::size_t want = limit - m_sent;

    if (unread)
        want = std::min(want, *unread >= kMaxUnread ? 0 : kMaxUnread - *unread);
    if (!m_fast) {
        m_credit += std::chrono::duration<double>(now - m_lastPace).count() * kBytesPerSecond;
        m_credit = std::min(m_credit, static_cast<double>(kMaxBurst));
        m_lastPace = now;
        want = std::min(want, static_cast<std::size_t>(m_credit));
    }
    return want;
}

void ReplyPacer::sent(std::size_t count, TimePoint now)
{
    m_sent += count;
    if (!m_fast)
        m_credit -= static_cast<double>(count);
    if (m_plan.pauseAt != ReplyPlan::kNever && m_sent == m_plan.pauseAt) {
        m_plan.pauseAt = ReplyPlan::kNever;
        m_pausedUntil = now + std::chrono::milliseconds(kPauseMs);
    }
    if (m_sent >= m_plan.total)
        m_active = false;
}

std::optional<ReplyPacer::TimePoint> ReplyPacer::wakeAt(TimePoint now) const
{
    if (m_flushAt)
        return *m_flushAt;
    if (!m_active)
        return std::nullopt;
    if (m_pausedUntil)
        return *m_pausedUntil;
    return now + (m_fast ? kFastTick : kPaceTick);
}

} // namespace camsim
