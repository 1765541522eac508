#include "sim/camsim_server.h"

#include "sim/camsim_console_watch.h"
#include "sim/camsim_pacer.h"
#include "sim/camsim_pty.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

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
        : m_options(options), m_camera(options.pattern, options.faults, options.faultTimes), m_pacer(options.fast)
    {
    }

    ~Simulator()
    {
        m_watch.stop();
        if (m_logFd >= 0)
            ::close(m_logFd);
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
        if (!openPty(error)) {
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
            std::optional<timespec> timeout;
            const auto now = Clock::now();
            if (const auto wake = m_pacer.wakeAt(now))
                timeout = ToTimespec(std::max(Clock::duration::zero(), *wake - now));
            const int n = ::ppoll(fds, m_watch.fd() >= 0 ? 2 : 1, timeout ? &*timeout : nullptr, &waitMask);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                std::fprintf(stderr, "camsim: %s\n", Errno("ppoll").c_str());
                return 1;
            }
            // Opens and closes first: a console opens the device before it
            // writes its first command.
            if (fds[1].revents & POLLIN)
                m_watch.readEvents([this] { lastConsoleLeft(); });
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
        writeCommandLog();
        return 0;
    }

private:
    bool openPty(std::string &error)
    {
        if (!m_pty.open(error))
            return false;
        m_watch.start(m_pty.slavePath());
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

    bool reopenPty(std::string &error)
    {
        // The pty first: closing an inotify descriptor waits for the kernel's
        // mark teardown (15 to 25 ms when idle, more under load), and a
        // console that read the last byte must see the hangup before its
        // 50 ms pause check, not after.
        m_pty.close();
        m_watch.stop();
        m_pacer.stop();
        m_assembler = CommandAssembler {};
        return openPty(error);
    }

    // A real port that is closed loses what arrives, too: the reply in
    // progress and what the console left unread are dropped, so the next
    // connection starts clean. While no console is there, reply bytes are
    // dropped as they come due.
    void lastConsoleLeft()
    {
        m_pty.discardUnread();
        m_pty.restoreSettings();
        m_pacer.consoleLeft(Clock::now());
    }

    void readCommands()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_pty.master(), buf, sizeof buf);
            if (n <= 0)
                return; // EAGAIN: all read; EIO: nobody else there (harmless)
            for (std::string &command : m_assembler.feed(std::string_view(buf, static_cast<std::size_t>(n))))
                startReply(command);
        }
    }

    void startReply(const std::string &command)
    {
        if (m_logFd >= 0)
            m_pendingLog += command + "\n";
        m_pacer.start(m_camera.handle(command), Clock::now());
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

    // Writes the bytes due now. False on a fatal error.
    bool pump(std::string &error)
    {
        auto now = Clock::now();
        if (m_pacer.flushDue(now)) {
            m_pty.discardUnread();
            now = Clock::now();
            m_pacer.flushed(now);
        }
        if (!m_pacer.active())
            return true;

        const bool listening = m_watch.consolePresent();
        std::size_t want = m_pacer.due(now, listening ? m_pty.unread() : std::nullopt);
        if (!listening) {
            // Nobody listens: the bytes go out into the void, at pace.
            m_pacer.sent(want, now);
            want = 0;
        }
        while (want > 0) {
            const std::string chunk = m_pacer.next(std::min<std::size_t>(want, 4096));
            const ssize_t n = ::write(m_pty.master(), chunk.data(), chunk.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    break; // the pty is full; keep reading commands meanwhile
                if (errno == EIO)
                    break;
                error = Errno("write pty");
                return false;
            }
            m_pacer.sent(static_cast<std::size_t>(n), now);
            want -= static_cast<std::size_t>(n);
        }
        if (m_pacer.hangupDue())
            return hangup(error);
        return true;
    }

    // Closes the pty in the middle of a reply, after giving the console a
    // moment to read what was already sent, then opens a fresh one.
    bool hangup(std::string &error)
    {
        const auto deadline = Clock::now() + kHangupDrainLimit;
        int quiet = 0;
        while (m_watch.consolePresent() && Clock::now() < deadline && quiet < 2 && !g_stop) {
            const auto pending = m_pty.unread();
            if (!pending)
                break;
            quiet = *pending == 0 ? quiet + 1 : 0;
            ::usleep(5000);
        }
        return reopenPty(error);
    }

    Options m_options;
    Camera m_camera;
    ReplyPacer m_pacer;
    CommandAssembler m_assembler;
    Pty m_pty;
    ConsoleWatch m_watch;
    int m_logFd = -1;
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
