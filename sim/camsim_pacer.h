#pragma once

// How fast camsim's reply goes out: the wire's pace, the back-pressure of a
// console that does not read, the fault pause, and the settle after a
// console left. Plain logic: the caller passes the time in and does the
// writing, so the pacing is testable in virtual time.
//
// The event loop, once per wake-up:
//   if (pacer.flushDue(now)) { discard the pty's input; pacer.flushed(now); }
//   n = pacer.due(now, unread);              // write at most n bytes,
//   write(pacer.next(n)); pacer.sent(k, now); // k of them went out
//   if (pacer.hangupDue()) ...                // close the pty
//   sleep until pacer.wakeAt(now) or a command comes

#include "sim/camsim_camera.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace camsim {

// Wire pace of 115200 baud, 8N1: 10 bits per byte.
inline constexpr int kBytesPerSecond = 11520;
// Most bytes written but not yet read by the console. The pty would hold
// far more (some 64 KiB in buffers that TCIFLUSH does not reach); keeping
// the backlog within the line discipline's 4 KiB lets camsim discard it at
// once when the console goes, so the next connection starts clean.
inline constexpr std::size_t kMaxUnread = 3072;
// Most bytes written at once when paced; after a stall (a full pty or a
// late wake-up) at most this much catches up, so the stream stays steady.
inline constexpr std::size_t kMaxBurst = 256;
// After the last console closed, the next reply starts no sooner than this:
// the pty can hand out bytes of the dropped reply a moment after the flush
// (under load, some ms), so they are let come and discarded once more.
inline constexpr std::chrono::milliseconds kSettle { 10 };
// How often a paced reply wakes up to write the bytes due.
inline constexpr std::chrono::milliseconds kPaceTick { 2 };
// How often a --fast reply wakes up to top up the pty.
inline constexpr std::chrono::milliseconds kFastTick { 1 };

class ReplyPacer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // fast: no wire pace, only the unread limit holds the reply back.
    explicit ReplyPacer(bool fast = false) : m_fast(fast) {}

    // A new command's reply; abandons what is left of the previous one. Its
    // first byte is due at once (after a settle, see consoleLeft()).
    void start(ReplyPlan plan, TimePoint now);
    // The last console closed the device: the reply in progress is dropped,
    // and the next one waits for kSettle after `now` and a flush.
    void consoleLeft(TimePoint now);
    // Drops the reply in progress (the pty was replaced).
    void stop();

    // True when the caller must discard what the pty holds of an old reply
    // before this reply's first byte; then call flushed().
    bool flushDue(TimePoint now) const { return m_flushAt && now >= *m_flushAt; }
    void flushed(TimePoint now);

    // How many bytes may be written now: up to the reply's end, its pause or
    // its hangup, no faster than the wire (at most kMaxBurst at once), and,
    // when `unread` (bytes the console has not read yet) is known, no more
    // than keeps it within kMaxUnread.
    std::size_t due(TimePoint now, std::optional<std::size_t> unread);
    // The next `count` bytes of the reply (not yet counted as sent).
    std::string next(std::size_t count) const { return m_plan.bytes(m_sent, count); }
    // `count` bytes went out (written, or dropped while nobody listens).
    void sent(std::size_t count, TimePoint now);

    // A reply is under way (or waits for its settle or pause).
    bool active() const { return m_active; }
    // The reply reached its hangup point: the caller closes the pty.
    bool hangupDue() const { return m_plan.hangupAt != ReplyPlan::kNever && m_sent == m_plan.hangupAt; }
    std::size_t sentCount() const { return m_sent; }

    // When the caller should call due() again; nullopt: not before a new
    // command comes.
    std::optional<TimePoint> wakeAt(TimePoint now) const;

private:
    bool m_fast;
    ReplyPlan m_plan;
    std::size_t m_sent = 0;
    bool m_active = false;
    std::optional<TimePoint> m_pausedUntil;
    std::optional<TimePoint> m_settleUntil; // a console left; the next reply settles first
    std::optional<TimePoint> m_flushAt; // a reply waits for the flush after a settle
    double m_credit = 0.0; // bytes the wire's pace allows now
    TimePoint m_lastPace {};
};

} // namespace camsim
