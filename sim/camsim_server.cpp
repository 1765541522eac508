#include "sim/camsim_server.h"

#include "sim/camsim_console_watch.h"
#include "sim/camsim_pacer.h"
#include "sim/camsim_pty.h"
#include "sim/camsim_relay.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

// Before a hangup, how long to wait for the console to read what was sent.
constexpr auto kHangupDrainLimit = 500ms;
// camsim's own lateness on the way to a hangup that is reported.
constexpr auto kLateHangup = 25ms;
// camsim wakes at least this often, so that it can tell when it was not run
// for a while (it then wakes late) even while it waits for nothing.
constexpr auto kSelfCheck = 10ms;

// "10,745"
std::string Grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

// How a reply is named in camsim's messages: "the DF reply".
std::string ReplyName(const std::string &command)
{
    const CommandKind kind = ClassifyCommand(command);
    return kind == CommandKind::Unknown ? std::string("NCK") : std::string(NameOf(kind));
}

timespec ToTimespec(Clock::duration duration)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
    timespec ts {};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

class Simulator {
public:
    explicit Simulator(const Options &options)
        : m_options(options),
          m_camera(options.pattern, options.faults, options.faultTimes),
          m_pacer(options.fast, options.lead)
    {
    }

    ~Simulator()
    {
        m_relays.stop();
        m_watch.stop();
        if (m_logFd >= 0)
            ::close(m_logFd);
        if (m_stallLogFd >= 0)
            ::close(m_stallLogFd);
        if (m_linkPlaced)
            RemoveSymlink(m_options.linkPath, m_pty.slavePath());
    }

    int run()
    {
        std::string error;
        if (!m_options.logPath.empty()) {
            m_logFd = ::open(m_options.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (m_logFd < 0) {
                std::fprintf(stderr, "camsim: cannot open log %s: %s\n", m_options.logPath.c_str(),
                             std::strerror(errno));
                return 1;
            }
        }
        // The test tools collect stall reports of every camsim they start
        // through this file.
        if (const char *stallLog = std::getenv("CAMSIM_STALL_LOG"); stallLog && *stallLog) {
            m_stallLogFd = ::open(stallLog, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (m_stallLogFd < 0)
                std::fprintf(stderr, "camsim: cannot open CAMSIM_STALL_LOG %s: %s\n", stallLog, std::strerror(errno));
        }
        if (!m_relays.start(m_options.fast, m_options.realtime, error) || !openPty(error)) {
            std::fprintf(stderr, "camsim: %s\n", error.c_str());
            return 1;
        }

        sigset_t waitMask;
        ::sigprocmask(SIG_SETMASK, nullptr, &waitMask);
        ::sigdelset(&waitMask, SIGTERM);
        ::sigdelset(&waitMask, SIGINT);

        while (!g_stop) {
            pollfd fds[2] = { { m_pty.master(), POLLIN, 0 }, { m_watch.fd(), POLLIN, 0 } };
            pollfd &pfd = fds[0];
            const auto now = Clock::now();
            m_asleepSince = now;
            m_plannedWake = m_pacer.wakeAt(now);
            const auto wait = std::clamp(m_plannedWake.value_or(now + kSelfCheck) - now, Clock::duration::zero(),
                                         Clock::duration(kSelfCheck));
            m_wakeBy = now + wait;
            const timespec timeout = ToTimespec(wait);
            const int n = ::ppoll(fds, m_watch.fd() >= 0 ? 2 : 1, &timeout, &waitMask);
            m_woke = std::min(Clock::now(), m_wakeBy);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                std::fprintf(stderr, "camsim: %s\n", Errno("ppoll").c_str());
                return 1;
            }
            // A gap that camsim's own stop left in the reply in progress is
            // measured before anything else ends the reply.
            noteStalls();
            // Opens and closes first: a console opens the device before it
            // writes its first command.
            if (fds[1].revents & POLLIN)
                m_watch.readEvents([this](bool consoleBack) { lastConsoleLeft(consoleBack); });
            if (pfd.revents & POLLIN)
                readCommands();
            else if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                // Not expected while camsim holds the slave open; start afresh
                // rather than spin on a dead master.
                if (!reopenPty(error)) {
                    std::fprintf(stderr, "camsim: %s\n", error.c_str());
                    return 1;
                }
                continue;
            }
            if (!pump(error)) {
                std::fprintf(stderr, "camsim: %s\n", error.c_str());
                return 1;
            }
            writeCommandLog();
        }
        // A command that came while camsim was stopped, and was still
        // waiting when it was told to end, is logged and its lateness told.
        noteStalls();
        readCommands();
        writeCommandLog();
        return 0;
    }

private:
    bool openPty(std::string &error)
    {
        if (!m_pty.open(error))
            return false;
        m_watch.start(m_pty.slavePath());
        m_relays.setPty(m_pty.master(), m_pty.slave());
        // The link first, so that it is in place once the path is printed.
        if (!m_options.linkPath.empty()) {
            if (!PlaceSymlink(m_options.linkPath, m_pty.slavePath(), error))
                return false;
            m_linkPlaced = true;
        }
        std::printf("%s\n", m_pty.slavePath().c_str());
        std::fflush(stdout);
        return true;
    }

    // Closes the pty: the console sees the hangup. The relays share the
    // descriptors, so they let go of them too; nothing is left queued for
    // them.
    void closePty()
    {
        m_relays.setPty(-1, -1);
        m_relays.discardQueued();
        m_pty.close();
        m_relays.ptyClosed();
    }

    bool reopenPty(std::string &error)
    {
        closePty();
        return startAfresh(error);
    }

    // After the pty was closed: a fresh one, nothing of the old one kept.
    bool startAfresh(std::string &error)
    {
        // After the pty: closing an inotify descriptor waits for the kernel's
        // mark teardown (15 to 25 ms when idle, more under load), and a
        // console that read the last byte must see the hangup before its
        // 50 ms pause check, not after.
        m_watch.stop();
        m_pacer.stop();
        m_assembler = CommandAssembler {};
        return openPty(error);
    }

    // A real port that is closed loses what arrives, too: the reply in
    // progress and what the console left unread are dropped, so the next
    // connection starts clean. While no console is there, reply bytes are
    // dropped as they come due.
    // consoleBack: another console opened the device before camsim came to
    // this; its settings and exclusive mode are its own and stay.
    void lastConsoleLeft(bool consoleBack)
    {
        // A console that left while camsim was stopped had the relays send
        // on into the pty after it; a console that came meanwhile may have
        // read those bytes of the old reply.
        // A console may also have left because camsim, stopped, came late to
        // the next piece of a reply it holds back (a replayed read, the end
        // of a pause): nothing was queued for the relays meanwhile.
        const auto now = Clock::now();
        const bool heldBack = m_pacer.active() && !m_pacer.flowing() && m_relays.queued() == 0;
        if (m_plannedWake && now - *m_plannedWake >= kReportedGap
            && (m_relays.lastDelivery() > m_asleepSince || heldBack))
            reportStall(now - *m_plannedWake, m_pacer.delivered(m_relays.queued()));
        m_relays.discardQueued();
        m_pty.discardUnread();
        if (!consoleBack)
            m_pty.restoreSettings();
        m_pacer.consoleLeft(Clock::now());
    }

    void readCommands()
    {
        char buf[4096];
        // When the commands came: a relay notes it when camsim was not there
        // to read them. A note made while camsim was reading is spent: the
        // read counts as done from the last look that found nothing, so
        // input that came after that look (camsim may be stopped right
        // after it) keeps its note for the next read.
        const TimePoint arrival = m_relays.takeInputArrival(m_lastRead).value_or(Clock::now());
        std::vector<std::string> commands;
        for (;;) {
            const TimePoint look = Clock::now();
            const ssize_t n = ::read(m_pty.master(), buf, sizeof buf);
            if (n <= 0) {
                m_lastRead = look; // EAGAIN: all read; EIO: nobody else there (harmless)
                break;
            }
            for (std::string &command : m_assembler.feed(std::string_view(buf, static_cast<std::size_t>(n))))
                commands.push_back(std::move(command));
        }
        m_relays.inputRead(m_lastRead);
        const auto now = Clock::now();
        for (const std::string &command : commands)
            startReply(command, arrival, now);
    }

    void startReply(const std::string &command, TimePoint arrival, TimePoint now)
    {
        if (m_logFd >= 0)
            m_pendingLog += command + "\n";
        // A new command abandons what is left of the reply in progress.
        m_relays.discardQueued();
        m_replies.push_back({ m_relays.delivered(), ReplyName(command) });
        if (m_replies.size() > 4)
            m_replies.pop_front();
        // A command that came while camsim was not run is late by as much;
        // camsim's own lateness since it should have woken bounds that from
        // below when no relay noted the command's arrival.
        if (const auto late = std::max(now - arrival, now - m_woke); late >= kReportedGap) {
            reportStall(late, 0);
            arrival = now; // reported; the relays count from here
        }
        m_pacer.start(m_options.replay ? ReplayReply(*m_options.replay, m_camera, command) : m_camera.handle(command),
                      now, arrival);
    }

    // Says that a reply had a gap of `length` after `atByte` of its bytes
    // (counted over all replies when `overAll`), on stderr and in
    // CAMSIM_STALL_LOG.
    void reportStall(Clock::duration length, std::uint64_t atByte, bool overAll = false)
    {
        if (m_replies.empty())
            return;
        auto reply = m_replies.rbegin();
        if (overAll) {
            while (reply != m_replies.rend() && reply->start > atByte)
                ++reply;
            if (reply == m_replies.rend())
                return;
            atByte -= reply->start;
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(length).count();
        const std::string line = "camsim: stalled for " + Grouped(static_cast<std::uint64_t>(ms)) + " ms at byte "
            + Grouped(atByte) + " of the " + reply->name
            + " reply: the machine did not run camsim; a console may have taken it for a pause\n";
        [[maybe_unused]] const ssize_t e = ::write(STDERR_FILENO, line.data(), line.size());
        if (m_stallLogFd >= 0) {
            [[maybe_unused]] const ssize_t w = ::write(m_stallLogFd, line.data(), line.size());
        }
    }

    // Reports the gaps in the reply: those the relays saw (they ran, the
    // queue was empty or they were stopped themselves), and one still going
    // on because camsim was stopped longer than its lead: nothing is queued
    // while bytes are due.
    void noteStalls()
    {
        for (const ReplyGap &gap : m_relays.takeGaps())
            reportStall(std::chrono::duration_cast<Clock::duration>(gap.length), gap.atByte, true);
        noteStarvedReply();
    }

    // A reply whose bytes are due with nothing queued waits on camsim: from
    // 40 ms on, that is reported. Looked at when camsim wakes, and again
    // just before it queues: a stop between reading a command and queueing
    // its reply ends with bytes queued, and the console may have left (and
    // the queue been dropped) before a relay sent any of them.
    void noteStarvedReply()
    {
        if (!m_pacer.flowing() || m_relays.queued() > 0)
            return;
        const auto now = Clock::now();
        const TimePoint since = std::max(m_relays.lastDelivery(), m_relays.flowSince());
        if (now - since < kReportedGap)
            return;
        reportStall(now - since, m_pacer.delivered(0));
        m_relays.setFlowSince(now);
    }

    // The command log is written after the reply's first bytes went out: a
    // write to a file can block for a long while on a machine busy writing
    // (the kernel throttles writers of dirty pages), and the console gives a
    // ping or mode command only 50 ms for its answer.
    void writeCommandLog()
    {
        if (m_pendingLog.empty())
            return;
        [[maybe_unused]] const ssize_t w = ::write(m_logFd, m_pendingLog.data(), m_pendingLog.size());
        m_pendingLog.clear();
    }

    // Queues the bytes due now. False on a fatal error.
    bool pump(std::string &error)
    {
        auto now = Clock::now();
        if (m_pacer.flushDue(now)) {
            m_relays.discardQueued();
            m_pty.discardUnread();
            now = Clock::now();
            m_pacer.flushed();
        }
        if (!m_pacer.active())
            return true;
        if (!m_watch.consolePresent()) {
            // Nobody listens: the reply goes nowhere.
            m_pacer.stop();
            m_relays.discardQueued();
            return true;
        }

        const ReplyPacer::Step step = m_pacer.step(now, m_relays.queued(), m_relays.lastDelivery());
        if (step.restartWire)
            m_relays.restartWire(now);
        if (step.flowSince)
            m_relays.setFlowSince(*step.flowSince);
        if (step.feed > 0) {
            noteStarvedReply();
            m_pacer.queuedBytes(m_relays.enqueue(m_pacer.next(step.feed)));
        }
        if (m_pacer.hangupDue(m_relays.queued()))
            return hangup(error);
        return true;
    }

    // Closes the pty in the middle of a reply, after giving the console a
    // moment to read what was already sent, then opens a fresh one.
    bool hangup(std::string &error)
    {
        // The console must meet the hangup within its 50 ms pause check
        // after it read the last byte; camsim's own lateness on the way there
        // (noticing the last byte out, or any of the short waits below) is
        // what a stop of the machine adds.
        auto before = Clock::now();
        Clock::duration late = before - m_relays.lastDelivery() - kFeedTick;
        const auto deadline = before + kHangupDrainLimit;
        const std::size_t delivered = m_pacer.delivered(0);
        int quiet = 0;
        while (m_watch.consolePresent() && Clock::now() < deadline && quiet < 2 && !g_stop) {
            const auto pending = m_pty.unread();
            if (!pending)
                break;
            quiet = *pending == 0 ? quiet + 1 : 0;
            ::usleep(5000);
            const auto after = Clock::now();
            late = std::max(late, after - before - std::chrono::milliseconds(5));
            before = after;
        }
        // The close itself is timed too: a stop between the last look and
        // the close delays the hangup as much as one in the waits.
        closePty();
        late = std::max(late, Clock::now() - before);
        // The console meets the hangup within its pause check only if camsim
        // closes within some 35 ms of the last byte out; a lateness of its own
        // from kLateHangup on may have made it miss that.
        if (late >= kLateHangup)
            reportStall(late, delivered);
        return startAfresh(error);
    }

    Options m_options;
    Camera m_camera;
    ReplyPacer m_pacer;
    CommandAssembler m_assembler;
    Pty m_pty;
    ConsoleWatch m_watch;
    Relays m_relays;
    struct Reply {
        std::uint64_t start; // its first byte, counted over all replies
        std::string name;
    };
    std::deque<Reply> m_replies; // the last few replies, newest last
    TimePoint m_lastRead {};
    TimePoint m_asleepSince {}; // when camsim last went to wait
    std::optional<TimePoint> m_plannedWake; // when it meant to wake, if at a set time
    TimePoint m_wakeBy {}; // when it was to wake at the latest
    TimePoint m_woke {}; // when it woke, or was to wake if that was later
    int m_logFd = -1;
    int m_stallLogFd = -1;
    std::string m_pendingLog; // commands received, not yet in the log
    bool m_linkPlaced = false;
};

} // namespace

int RunCamsim(const Options &options)
{
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // The stop signals are only delivered inside ppoll, so none is lost
    // between checking the flag and waiting.
    sigset_t block;
    ::sigemptyset(&block);
    ::sigaddset(&block, SIGTERM);
    ::sigaddset(&block, SIGINT);
    ::sigprocmask(SIG_BLOCK, &block, nullptr);

    Simulator simulator(options);
    return simulator.run();
}

} // namespace camsim
