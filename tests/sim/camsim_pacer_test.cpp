// camsim's reply pacing in virtual time: the pacer is driven the way the
// event loop drives it, with a made-up clock and a made-up console.

#include "sim/camsim_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace camsim;
using namespace std::chrono_literals;
using TimePoint = ReplyPacer::TimePoint;

namespace {

double Seconds(TimePoint t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// camsim's loop around a pacer: wakes when the pacer asks, writes what is
// due into a pty whose reader (the console) takes everything at once or
// nothing at all.
struct Wire {
    explicit Wire(bool fast = false) : pacer(fast) {}

    struct Write {
        TimePoint at;
        std::size_t bytes;
    };

    ReplyPacer pacer;
    TimePoint now {};
    bool consoleReads = true;
    std::size_t unread = 0; // written, not read by the console
    std::string received; // everything written, in order
    std::vector<Write> writes;
    int flushes = 0;

    // A command comes in at `now`; the loop handles its reply at once.
    void command(ReplyPlan plan)
    {
        pacer.start(std::move(plan), now);
        wake();
    }

    void wake()
    {
        if (pacer.flushDue(now)) {
            ++flushes;
            unread = 0;
            pacer.flushed(now);
        }
        if (consoleReads)
            unread = 0;
        const std::size_t n = pacer.due(now, unread);
        if (n == 0)
            return;
        received += pacer.next(n);
        pacer.sent(n, now);
        unread += n;
        writes.push_back({ now, n });
    }

    // Lets virtual time pass to `until`, waking whenever the pacer asks.
    void runUntil(TimePoint until)
    {
        for (;;) {
            const auto wakeAt = pacer.wakeAt(now);
            if (!wakeAt || *wakeAt > until)
                break;
            now = std::max(now, *wakeAt);
            wake();
        }
        now = until;
    }
    void runFor(std::chrono::nanoseconds span) { runUntil(now + span); }

    std::size_t sentBy(TimePoint t) const
    {
        std::size_t total = 0;
        for (const Write &w : writes)
            if (w.at <= t)
                total += w.bytes;
        return total;
    }
};

ReplyPlan Plan(std::string bytes)
{
    ReplyPlan plan;
    plan.total = bytes.size();
    plan.head = std::move(bytes);
    return plan;
}

ReplyPlan Dump()
{
    return PlanReply(CommandKind::DF, Pattern::Checker, std::nullopt);
}

} // namespace

TEST(CamsimPacer, SendsAtWirePaceFromTheFirstByteOnWithoutGaps)
{
    Wire wire;
    wire.command(Dump());
    ASSERT_FALSE(wire.writes.empty());
    EXPECT_EQ(wire.writes.front().at, TimePoint {});
    EXPECT_EQ(wire.writes.front().bytes, 1u) << "the first byte goes out at once, alone";

    wire.runFor(10s);
    EXPECT_FALSE(wire.pacer.active());
    EXPECT_EQ(wire.received, DumpReply(Pattern::Checker));
    // 34,408 bytes at 11,520 bytes/s: the last byte leaves 2.987 s after
    // the first, to within one tick.
    const double last = Seconds(wire.writes.back().at);
    EXPECT_NEAR(last, double(kDumpReplySize - 1) / kBytesPerSecond, 0.0021);
    // Never ahead of the wire, never behind it by more than a tick's worth,
    // and a write every tick.
    std::size_t sent = 0;
    for (std::size_t i = 0; i < wire.writes.size(); ++i) {
        const TimePoint at = wire.writes[i].at;
        sent += wire.writes[i].bytes;
        const double allowed = 1 + Seconds(at) * kBytesPerSecond;
        ASSERT_LE(double(sent), allowed) << Seconds(at);
        ASSERT_GE(double(sent), allowed - 2 * 0.002 * kBytesPerSecond) << Seconds(at);
        if (i > 0) {
            ASSERT_LE(at - wire.writes[i - 1].at, kPaceTick) << Seconds(at);
        }
    }
}

TEST(CamsimPacer, HoldsTheReplyWithin3KiBUnreadAndCatchesUpOnlyABurst)
{
    for (const bool fast : { false, true }) {
        SCOPED_TRACE(fast ? "fast" : "paced");
        Wire wire(fast);
        wire.consoleReads = false;
        wire.command(Dump());
        wire.runFor(2s);
        EXPECT_EQ(wire.unread, kMaxUnread) << "fills up to the limit and no further";
        EXPECT_TRUE(wire.pacer.active());

        // The console reads again: paced, only a burst catches up at once;
        // fast, the next 3 KiB.
        wire.consoleReads = true;
        const std::size_t before = wire.writes.size();
        wire.runFor(fast ? kFastTick : kPaceTick);
        ASSERT_GT(wire.writes.size(), before);
        EXPECT_EQ(wire.writes[before].bytes, fast ? kMaxUnread : kMaxBurst);
        wire.runFor(10s);
        EXPECT_EQ(wire.received, DumpReply(Pattern::Checker));
    }

    // A late wake-up (the loop was not scheduled for a second) does not
    // flood the wire either.
    Wire wire;
    wire.command(Dump());
    wire.now += 1s;
    wire.wake();
    EXPECT_EQ(wire.writes.back().bytes, kMaxBurst);
}

TEST(CamsimPacer, NewCommandAbandonsTheReplyInProgress)
{
    Wire wire;
    wire.command(Dump());
    wire.runFor(500ms);
    const std::size_t cut = wire.received.size();
    EXPECT_NEAR(double(cut), 0.5 * kBytesPerSecond, 30.0);

    wire.command(Plan(std::string(kAckReply)));
    EXPECT_EQ(wire.writes.back().at, wire.now) << "its first byte goes out at once";
    wire.runFor(10s);
    EXPECT_EQ(wire.received, DumpReply(Pattern::Checker).substr(0, cut) + std::string(kAckReply));
    EXPECT_FALSE(wire.pacer.active());
}

TEST(CamsimPacer, PausesAt300msAndStopsAtTheHangupPoint)
{
    Wire wire;
    wire.command(PlanReply(CommandKind::DF, Pattern::Bars, FaultMode::Pause));
    wire.runFor(10s);
    EXPECT_EQ(wire.received, DumpReply(Pattern::Bars));
    // The longest silence is the pause, right after half the reply.
    std::size_t longest = 1;
    for (std::size_t i = 2; i < wire.writes.size(); ++i)
        if (wire.writes[i].at - wire.writes[i - 1].at > wire.writes[longest].at - wire.writes[longest - 1].at)
            longest = i;
    EXPECT_EQ(wire.writes[longest].at - wire.writes[longest - 1].at, std::chrono::milliseconds(kPauseMs));
    EXPECT_EQ(wire.sentBy(wire.writes[longest - 1].at), kDumpReplySize / 2);

    Wire hangup;
    hangup.command(PlanReply(CommandKind::DF, Pattern::Bars, FaultMode::Hangup));
    while (!hangup.pacer.hangupDue() && hangup.now < TimePoint {} + 10s)
        hangup.runFor(kPaceTick);
    EXPECT_EQ(hangup.received.size(), kDumpReplySize / 2);
    hangup.runFor(1s);
    EXPECT_EQ(hangup.received.size(), kDumpReplySize / 2) << "nothing is due past the hangup point";
}

TEST(CamsimPacer, AfterAConsoleLeftTheNextReplySettlesAndFlushesFirst)
{
    Wire wire;
    wire.command(Dump());
    wire.runFor(100ms);
    const TimePoint left = wire.now;
    wire.pacer.consoleLeft(left);
    EXPECT_FALSE(wire.pacer.active()) << "the reply in progress is dropped";
    EXPECT_FALSE(wire.pacer.wakeAt(wire.now).has_value());
    const std::size_t sentBefore = wire.received.size();

    // A command 1 ms later waits for the settle, then the flush, then
    // starts at once.
    wire.runFor(1ms);
    wire.command(Plan(std::string(kAckReply)));
    EXPECT_EQ(wire.received.size(), sentBefore);
    EXPECT_EQ(wire.pacer.wakeAt(wire.now), left + kSettle);
    wire.runFor(10s);
    EXPECT_EQ(wire.flushes, 1);
    EXPECT_EQ(wire.writes.back().at - left, kSettle + kPaceTick) << "first byte at the settle, the rest a tick on";
    EXPECT_EQ(wire.received.substr(sentBefore), kAckReply);

    // A silent reply flushes too; a command long after the settle flushes
    // at once; the settle is over after one flush.
    wire.pacer.consoleLeft(wire.now);
    wire.command(ReplyPlan {});
    wire.runFor(10s);
    EXPECT_EQ(wire.flushes, 2);
    wire.pacer.consoleLeft(wire.now);
    wire.runFor(10s);
    wire.command(Plan(std::string(kAckReply)));
    EXPECT_EQ(wire.flushes, 3);
    EXPECT_EQ(wire.writes.back().at, wire.now);
    wire.command(Plan(std::string(kAckReply)));
    EXPECT_EQ(wire.flushes, 3);
}
