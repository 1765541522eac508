// camsim's reply pacing in virtual time: camsim's pacer and one relay are
// driven the way camsim's loop and a relay drive them, with a made-up clock
// and a made-up console.

#include "frames/capture_format.h"
#include "sim/camsim_pacer.h"
#include "sim/camsim_priority.h"
#include "sim/camsim_replay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace camsim;
using namespace std::chrono_literals;

namespace {

double Seconds(TimePoint t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// camsim queues what its pacer says; a relay moves the queue into a pty
// whose reader (the console) takes everything at once or nothing at all.
// camsim can be stopped for a while; the relay runs on.
struct Wire {
    explicit Wire(bool fast = false, std::chrono::milliseconds lead = kDefaultLead) : fast(fast), pacer(fast, lead) {}

    struct Write {
        TimePoint at;
        std::size_t bytes;
    };

    bool fast;
    ReplyPacer pacer;
    TimePoint now {};
    TimePoint camsimStoppedUntil {};
    TimePoint nextCamsimWake {};
    bool consoleReads = true;
    std::string queue; // queued by camsim, not yet moved by the relay
    TimePoint origin {}; // the wire's schedule
    std::uint64_t delivered = 0;
    TimePoint lastDelivery {};
    std::size_t unread = 0; // moved into the pty, not read by the console
    std::string received; // everything moved into the pty, in order
    std::vector<Write> writes;
    int flushes = 0;

    // A command comes in at `now`; camsim handles it at once unless stopped.
    void command(ReplyPlan plan)
    {
        queue.clear(); // camsim empties the queue for a new reply
        pacer.start(std::move(plan), now, now);
        camsim();
    }

    void camsim()
    {
        if (pacer.flushDue(now)) {
            ++flushes;
            unread = 0;
            pacer.flushed();
        }
        const ReplyPacer::Step step = pacer.step(now, queue.size(), lastDelivery);
        if (step.restartWire)
            origin = WireOriginFor(now, delivered + 1);
        const bool wasEmpty = queue.empty();
        queue += pacer.next(step.feed);
        pacer.queuedBytes(step.feed);
        if (wasEmpty && !queue.empty())
            relay(); // the relay waits on the queue
        const auto wake = pacer.wakeAt(now);
        nextCamsimWake = wake ? *wake : TimePoint::max();
    }

    void relay()
    {
        if (consoleReads)
            unread = 0;
        const RelayMove move = PlanRelayMove(now, origin, delivered, queue.size(), unread, fast);
        if (move.newOrigin)
            origin = *move.newOrigin;
        if (move.bytes == 0)
            return;
        received += queue.substr(0, move.bytes);
        queue.erase(0, move.bytes);
        delivered += move.bytes;
        unread += move.bytes;
        lastDelivery = now;
        writes.push_back({ now, move.bytes });
    }

    // Lets virtual time pass to `until`: camsim wakes when its pacer asks
    // (unless stopped), the relay every tick while something is queued.
    void runUntil(TimePoint until)
    {
        const auto tick = fast ? kFastTick : kPaceTick;
        while (now < until) {
            now = std::min({ now + tick, std::max(nextCamsimWake, camsimStoppedUntil), until });
            if (now >= camsimStoppedUntil && now >= nextCamsimWake)
                camsim();
            if (!queue.empty())
                relay();
        }
    }
    void runFor(std::chrono::nanoseconds span) { runUntil(now + span); }
    void stopCamsimFor(std::chrono::milliseconds span)
    {
        camsimStoppedUntil = now + span;
        runUntil(camsimStoppedUntil);
    }

    std::size_t sentBy(TimePoint t) const
    {
        std::size_t total = 0;
        for (const Write &w : writes)
            if (w.at <= t)
                total += w.bytes;
        return total;
    }

    // The longest time between two moves of bytes, and where it ended.
    std::pair<std::chrono::nanoseconds, std::size_t> longestGap() const
    {
        std::pair<std::chrono::nanoseconds, std::size_t> longest { 0ns, 0 };
        for (std::size_t i = 1; i < writes.size(); ++i)
            longest = std::max(longest, { writes[i].at - writes[i - 1].at, i });
        return longest;
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
        ASSERT_LE(double(sent), allowed + 0.5) << Seconds(at);
        ASSERT_GE(double(sent), allowed - 2 * 0.002 * kBytesPerSecond) << Seconds(at);
    }
    EXPECT_LE(wire.longestGap().first, kPaceTick);
}

TEST(CamsimPacer, TheLeadCoversAStopOfCamsimAndALongerStopLeavesAGap)
{
    // Stopped for 150 ms, or for its whole lead: the relay sends on at the
    // wire's pace from what was queued.
    for (const auto stop : { 150ms, kDefaultLead }) {
        Wire wire;
        wire.command(Dump());
        wire.runFor(1s);
        wire.stopCamsimFor(stop);
        wire.runFor(10s);
        EXPECT_EQ(wire.received, DumpReply(Pattern::Checker));
        EXPECT_LE(wire.longestGap().first, kPaceTick) << stop.count() << " ms";
    }

    // Stopped for 400 ms: the queue runs dry after the lead, and the reply
    // has a gap of the rest (to within camsim's feed tick); meanwhile camsim
    // finds its reply flowing with nothing queued, which it reports.
    Wire wire;
    wire.command(Dump());
    wire.runFor(1s);
    wire.camsimStoppedUntil = wire.now + 400ms;
    wire.runUntil(wire.camsimStoppedUntil - 1ms);
    EXPECT_TRUE(wire.pacer.flowing());
    EXPECT_TRUE(wire.queue.empty());
    wire.runFor(10s);
    EXPECT_EQ(wire.received, DumpReply(Pattern::Checker));
    const auto [gap, at] = wire.longestGap();
    EXPECT_GE(gap, 400ms - kDefaultLead - kFeedTick);
    EXPECT_LE(gap, 400ms - kDefaultLead + kFeedTick + kPaceTick);
    EXPECT_NEAR(double(wire.sentBy(wire.writes[at - 1].at)), (1.0 + 0.2) * kBytesPerSecond, 100.0);

    // With no lead the stop itself shows.
    Wire bare(false, 0ms);
    bare.command(Dump());
    bare.runFor(1s);
    bare.stopCamsimFor(100ms);
    bare.runFor(10s);
    EXPECT_EQ(bare.received, DumpReply(Pattern::Checker));
    EXPECT_GE(bare.longestGap().first, 100ms - kFeedTick);
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

    // A late relay (not scheduled for a second) does not flood the wire
    // either.
    Wire wire;
    wire.command(Dump());
    wire.now += 1s;
    wire.relay();
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
    const auto [gap, at] = wire.longestGap();
    EXPECT_GE(gap, std::chrono::milliseconds(kPauseMs));
    EXPECT_LE(gap, std::chrono::milliseconds(kPauseMs) + kPaceTick);
    EXPECT_EQ(wire.sentBy(wire.writes[at - 1].at), kDumpReplySize / 2);

    Wire hangup;
    hangup.command(PlanReply(CommandKind::DF, Pattern::Bars, FaultMode::Hangup));
    while (!hangup.pacer.hangupDue(hangup.queue.size()) && hangup.now < TimePoint {} + 10s)
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
    wire.queue.clear(); // camsim empties the queue when the console goes
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
    EXPECT_EQ(wire.writes[wire.writes.size() - 2].at - left, kSettle) << "the first byte at the settle";
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

TEST(CamsimPriority, AUserWithoutRealTimeRightsGetsAHigherPriorityOrNoneNeverALowerOne)
{
    // As a user without real-time rights (nobody, when the tests run as
    // root), in a child process of its own.
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(1);
        std::string got = RaiseSchedulingPriority();
        got += " " + std::to_string(::getpriority(PRIO_PROCESS, 0));
        ::_exit(::write(out[1], got.data(), got.size()) == static_cast<ssize_t>(got.size()) ? 0 : 1);
    }
    ::close(out[1]);
    char buf[64] = {};
    const ssize_t n = ::read(out[0], buf, sizeof buf - 1);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && n > 0);
    const std::string got(buf);
    EXPECT_TRUE(got == "normal 0" || got == "nice -10 -10") << got;
}

// A replayed capture: each read's bytes go half way between the read before
// it and that read, so a console reading as the captured one did gets them
// in the same pieces; the commands the run saw unanswered or refused are so
// again.
TEST(CamsimReplay, EachReadsBytesGoHalfWayBeforeItsReadAndOnlyTheRunsFailuresAreReplayed)
{
    Capture capture;
    capture.record.test = TestKind::LineMode;
    capture.record.reply = std::string(600, 'a') + std::string(600, 'b');
    capture.record.reads = { { 50, 600 }, { 100, 0 }, { 150, 600 }, { 200, 0 } };
    capture.record.commands = { { "", 0, 5, true }, { "PM 1", 1, 0, false }, { "LM 1", 2, 5, false } };
    std::string error;
    const std::optional<ReplayScript> script
        = ReplayScriptOf(EncodeCapture(capture, false), ReplayPace::Captured, &error);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ(script->command, "TW");
    Camera camera;
    ReplyPlan plan = ReplayReply(*script, camera, "TW");
    EXPECT_EQ(plan.all(), capture.record.reply);

    Wire wire(true);
    wire.command(std::move(plan));
    wire.runFor(24ms);
    EXPECT_EQ(wire.received.size(), 0u);
    wire.runFor(10ms); // 34 ms
    EXPECT_EQ(wire.received.size(), 600u);
    wire.runFor(89ms); // 123 ms: the next read's bytes went at 125 ms
    EXPECT_EQ(wire.received.size(), 600u);
    wire.runFor(10ms);
    EXPECT_EQ(wire.received, capture.record.reply);

    EXPECT_EQ(ReplayReply(*script, camera, "PM 1").total, 0u) << "unanswered";
    EXPECT_EQ(ReplayReply(*script, camera, "LM 1").all(), "NCK\r:") << "refused";
    EXPECT_EQ(ReplayReply(*script, camera, "").all(), "ACK\r:") << "a healthy camera's answer";
    ASSERT_TRUE(ReplayScriptOf(EncodeCapture(capture, false), ReplayPace::Wire, &error));
    EXPECT_TRUE(ReplayScriptOf(EncodeCapture(capture, false), ReplayPace::Wire, &error)->releases.empty());
    capture.record.receptionEnd = ReceptionEnd::LinkError; // a pulled cable: the pty closes after the reply
    EXPECT_EQ(
        ReplayReply(*ReplayScriptOf(EncodeCapture(capture, false), ReplayPace::Wire, &error), camera, "TW").hangupAt,
        capture.record.reply.size());
    EXPECT_FALSE(ReplayScriptOf("not a capture", ReplayPace::Wire, &error));
    EXPECT_EQ(error, "it is not a camconsole capture");
}
