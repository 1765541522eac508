#pragma once

// How camsim's reply reaches the console: plain logic, with the time passed
// in, so the pacing is testable in virtual time.
//
// A reply goes out in two stages. camsim queues its bytes ahead of the wire
// (ReplyPacer: the lead), and relays, helper processes of their own, move
// the queued bytes into the pty at the wire's pace (PlanRelayMove). A
// machine that stops camsim for a while (a virtual machine losing its CPU to
// the host, for about 100 ms at times) then leaves no gap in the reply: the
// relays, on other CPUs, go on sending what is queued. Only a stop longer
// than the lead shows, as it would from a camera that paused.
//
// camsim's loop, once per wake-up:
//   if (pacer.flushDue(now)) { discard the pty's input; pacer.flushed(); }
//   step = pacer.step(now, queued, lastDelivery);
//   if (step.restartWire) the wire starts afresh: its next byte goes at once
//   queue(pacer.next(step.feed)); pacer.queuedBytes(k);  // k of them went in
//   if (pacer.hangupDue(queued)) ...                     // close the pty
//   sleep until pacer.wakeAt(now) or a command comes
// Each relay, once per wake-up:
//   move = PlanRelayMove(now, origin, delivered, queued, unread, fast);
//   move move.bytes from the queue into the pty

#include "sim/camsim_camera.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace camsim {

using TimePoint = std::chrono::steady_clock::time_point;

// Wire pace of 115200 baud, 8N1: 10 bits per byte.
inline constexpr int kBytesPerSecond = 11520;
// Most bytes written but not yet read by the console. The pty would hold
// far more (some 64 KiB in buffers that TCIFLUSH does not reach); keeping
// the backlog within the line discipline's 4 KiB lets camsim discard it at
// once when the console goes, so the next connection starts clean.
inline constexpr std::size_t kMaxUnread = 3072;
// Most bytes a relay moves at once when paced; after a stall (a full pty,
// an empty queue or a late wake-up) at most this much catches up, so the
// stream stays steady.
inline constexpr std::size_t kMaxBurst = 256;
// After the last console closed, the next reply starts no sooner than this:
// the pty can hand out bytes of the dropped reply a moment after the flush
// (under load, some ms), so they are let come and discarded once more.
inline constexpr std::chrono::milliseconds kSettle { 10 };
// How often a relay wakes to move the bytes due, paced and --fast.
inline constexpr std::chrono::milliseconds kPaceTick { 2 };
inline constexpr std::chrono::milliseconds kFastTick { 1 };
// How often camsim wakes to top up the queue while a reply goes out.
inline constexpr std::chrono::milliseconds kFeedTick { 5 };
// The lead: how much of a paced reply camsim keeps queued ahead of the wire.
// It covers camsim's own stops of this long (measured stops of busy virtual
// machines: 100 to 108 ms).
inline constexpr std::chrono::milliseconds kDefaultLead { 200 };
inline constexpr std::chrono::milliseconds kMaxLead { 2000 };
// A --fast reply keeps this much queued (no pace to lead).
inline constexpr std::size_t kFastQueue = 32768;
// A gap this long in a reply is reported: the console takes a 50 ms cycle
// that brings no byte for the end of a reply.
inline constexpr std::chrono::milliseconds kReportedGap { 40 };

// The wire's schedule, shared by camsim and its relays: the bytes (counted
// over all replies) that the wire has carried by `now` when it carried byte
// 0 at `origin`; 0 before the origin.
std::uint64_t WireBytesBy(TimePoint origin, TimePoint now);
// The origin at which the wire has carried `bytes` by `now`.
TimePoint WireOriginFor(TimePoint now, std::uint64_t bytes);

// What one relay does on a wake-up.
struct RelayMove {
    std::size_t bytes = 0; // move this many queued bytes into the pty
    std::optional<TimePoint> newOrigin; // the wire fell behind: it goes on from here
    bool heldBack = false; // the console's unread bytes hold the reply back
};

// `delivered`: bytes moved into the pty so far (over all replies); `queued`:
// bytes waiting in the queue; `unread`: bytes in the pty the console has not
// read, when the pty can tell. No faster than the wire (at most kMaxBurst at
// once) unless `fast`, and no more than keeps `unread` within kMaxUnread.
RelayMove PlanRelayMove(TimePoint now, TimePoint origin, std::uint64_t delivered, std::size_t queued,
                        std::optional<std::size_t> unread, bool fast);

class ReplyPacer {
public:
    // fast: no wire pace; the queue is kept full and only the unread limit
    // holds the reply back. lead: how far a paced reply is queued ahead.
    explicit ReplyPacer(bool fast = false, std::chrono::milliseconds lead = kDefaultLead);

    // A new command's reply, the command having come in at `arrival`;
    // abandons what is left of the previous one (the caller empties the
    // queue). Its first byte is due at once (after a settle, see
    // consoleLeft()).
    void start(ReplyPlan plan, TimePoint now, TimePoint arrival);
    // The last console closed the device: the reply in progress is dropped,
    // and the next one waits for kSettle after `now` and a flush.
    void consoleLeft(TimePoint now);
    // Drops the reply in progress (the pty was replaced).
    void stop();

    // True when the caller must discard what the pty holds of an old reply
    // before this reply's first byte; then call flushed().
    bool flushDue(TimePoint now) const { return m_flushAt && now >= *m_flushAt; }
    void flushed();

    struct Step {
        std::size_t feed = 0; // queue next(feed) now
        bool restartWire = false; // the wire starts afresh: the next queued byte goes at once
        std::optional<TimePoint> flowSince; // bytes are due to reach the console from then on
    };
    // `queued`: bytes of this reply queued and not yet moved into the pty;
    // `lastDelivery`: when the relays last moved bytes.
    Step step(TimePoint now, std::size_t queued, TimePoint lastDelivery);
    // The next `count` bytes of the reply (not yet counted as queued).
    std::string next(std::size_t count) const { return m_plan.bytes(m_queued, count); }
    // `count` bytes went into the queue.
    void queuedBytes(std::size_t count);

    // A reply is under way (or waits for its settle or pause).
    bool active() const { return m_active; }
    // Bytes of the reply are due to reach the console now: some are left to
    // queue, and the reply neither settles nor pauses. With nothing queued,
    // the console is then waiting on camsim.
    bool flowing() const;
    // The reply reached its hangup point and all of it went into the pty:
    // the caller closes the pty.
    bool hangupDue(std::size_t queued) const
    {
        return m_plan.hangupAt != ReplyPlan::kNever && m_queued == m_plan.hangupAt && queued == 0;
    }
    // Bytes of the reply that went into the pty.
    std::size_t delivered(std::size_t queued) const { return m_queued - std::min(queued, m_queued); }

    // When the caller should call step() again; nullopt: not before a new
    // command comes.
    std::optional<TimePoint> wakeAt(TimePoint now) const;

private:
    std::size_t limit() const;
    // The bytes a replayed reply's releases let go by now.
    std::size_t released(TimePoint now) const;

    std::size_t m_queueTarget; // bytes kept queued ahead of the wire
    ReplyPlan m_plan;
    std::size_t m_queued = 0; // bytes of the reply that went into the queue
    bool m_active = false;
    bool m_restart = false; // the wire (re)starts at the next step
    TimePoint m_flowSince {};
    TimePoint m_startedAt {};
    TimePoint m_arrival {};
    std::size_t m_released = 0; // as of the last step
    std::optional<TimePoint> m_pausedUntil;
    std::optional<TimePoint> m_settleUntil; // a console left; the next reply settles first
    std::optional<TimePoint> m_flushAt; // a reply waits for the flush after a settle
};

} // namespace camsim
