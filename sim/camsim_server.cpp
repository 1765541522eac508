#include "sim/camsim_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
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

std::string Errno(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Most bytes written at once when paced; after a stall (a full pty or a late
// wake-up) at most this much catches up, so the stream stays steady.
constexpr double kMaxBurst = 256.0;
// How often a paced reply wakes up to write the bytes due.
constexpr auto kPaceTick = 2ms;
// How often a --fast reply wakes up to top up the pty.
constexpr auto kFastTick = 1ms;
// Most bytes written but not yet read by the console. The pty would hold
// far more (some 64 KiB in buffers that TCIFLUSH does not reach); keeping
// the backlog within the line discipline's 4 KiB lets camsim discard it
// at once when the console goes, so the next connection starts clean.
constexpr int kMaxUnread = 3072;
// After the last console closed, the next reply starts no sooner than this.
constexpr auto kSettle = 10ms;
// Before a hangup, how long to wait for the console to read what was sent.
constexpr auto kHangupDrainLimit = 500ms;
// After the last console closes, unread bytes are discarded until none has
// come for kDiscardQuietMs, for at most kDiscardLimit.
constexpr int kDiscardQuietMs = 2;
constexpr auto kDiscardLimit = 200ms;

} // namespace

bool Pty::open(std::string &error)
{
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = Errno("grantpt/unlockpt");
        close();
        return false;
    }
    char name[256];
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        error = Errno("ptsname_r");
        close();
        return false;
    }
    m_slavePath = name;
    // Non-blocking: camsim reads its own slave only to discard what a
    // departed console left unread.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slave < 0) {
        error = Errno("open pty slave");
        close();
        return false;
    }
    termios tio {};
    if (::tcgetattr(m_slave, &tio) != 0) {
        error = Errno("tcgetattr");
        close();
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        error = Errno("tcsetattr");
        close();
        return false;
    }
    m_settings = tio;
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Errno("fcntl O_NONBLOCK");
        close();
        return false;
    }
    return true;
}

void Pty::discardUnread()
{
    if (m_slave < 0)
        return;
    // Flushing does not reliably reach what still waits in the pty's own
    // buffers: that flows in once the line discipline has room. So flush,
    // then read the slave dry until nothing has come for a moment (bounded).
    ::tcflush(m_master, TCOFLUSH);
    ::tcflush(m_slave, TCIFLUSH);
    const auto deadline = Clock::now() + kDiscardLimit;
    char scratch[4096];
    while (Clock::now() < deadline) {
        pollfd pfd { m_slave, POLLIN, 0 };
        if (::poll(&pfd, 1, kDiscardQuietMs) <= 0)
            break;
        if (::read(m_slave, scratch, sizeof scratch) <= 0)
            break;
    }
}

void Pty::restoreSettings()
{
    if (m_slave < 0)
        return;
    ::ioctl(m_slave, TIOCNXCL);
    ::tcsetattr(m_slave, TCSANOW, &m_settings);
}

void Pty::close()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

bool PlaceSymlink(const std::string &linkPath, const std::string &target, std::string &error)
{
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = linkPath + " exists and is not a symlink";
        return false;
    }
    const std::string tmp = linkPath + ".camsim-" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0) {
        // The temporary name is camsim's own business: name the user's path.
        error = Errno(("cannot place the link " + linkPath).c_str());
        return false;
    }
    if (::rename(tmp.c_str(), linkPath.c_str()) != 0) {
        error = Errno(("rename to " + linkPath).c_str());
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

namespace {

class Simulator {
public:
    explicit Simulator(const Options &options)
        : m_options(options), m_camera(options.pattern, options.faults, options.faultTimes)
    {
    }

    ~Simulator()
    {
        unwatchSlave();
        if (m_logFd >= 0)
            ::close(m_logFd);
        removeLink();
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
            pollfd fds[2] = { { m_pty.master(), POLLIN, 0 }, { m_watchFd, POLLIN, 0 } };
            pollfd &pfd = fds[0];
            std::optional<Clock::duration> timeout;
            if (m_active) {
                const auto now = Clock::now();
                if (m_pausedUntil)
                    timeout = std::max(Clock::duration::zero(), *m_pausedUntil - now);
                else
                    timeout = m_options.fast ? kFastTick : kPaceTick;
            }
            timespec ts {};
            if (timeout) {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count();
                ts.tv_sec = static_cast<time_t>(ns / 1000000000);
                ts.tv_nsec = static_cast<long>(ns % 1000000000);
            }
            const int n = ::ppoll(fds, m_watchFd >= 0 ? 2 : 1, timeout ? &ts : nullptr, &waitMask);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                std::fprintf(stderr, "camsim: %s\n", Errno("ppoll").c_str());
                return 1;
            }
            // Opens and closes first: a console opens the device before it
            // writes its first command.
            if (m_watchFd >= 0 && (fds[1].revents & POLLIN))
                readOpensAndCloses();
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
        }
        return 0;
    }

private:
    bool openPty(std::string &error)
    {
        if (!m_pty.open(error))
            return false;
        watchSlave();
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
        unwatchSlave();
        m_pty.close();
        m_active = false;
        m_assembler = CommandAssembler {};
        return openPty(error);
    }

    void removeLink()
    {
        if (!m_linkPlaced)
            return;
        char buf[512];
        const ssize_t n = ::readlink(m_options.linkPath.c_str(), buf, sizeof buf - 1);
        if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == m_pty.slavePath())
            ::unlink(m_options.linkPath.c_str());
        m_linkPlaced = false;
    }

    // Consoles come and go while camsim keeps the slave open itself, so the
    // pty alone never shows it. inotify reports every open and close of the
    // slave device. When the last console closes it, camsim drops the rest
    // of the reply in progress and flushes what the console left unread, so
    // the next connection starts clean (a real port that is closed loses
    // what arrives, too). While no console is there, reply bytes are
    // dropped. Without inotify, a console is assumed present.
    void watchSlave()
    {
        m_consoles = 0;
        m_watchKnown = false;
        m_watchFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_watchFd < 0)
            return;
        if (::inotify_add_watch(m_watchFd, m_pty.slavePath().c_str(), IN_OPEN | IN_CLOSE) < 0) {
            unwatchSlave();
            return;
        }
        m_watchKnown = true;
    }

    void unwatchSlave()
    {
        if (m_watchFd >= 0)
            ::close(m_watchFd);
        m_watchFd = -1;
        m_watchKnown = false;
    }

    bool consolePresent() const { return !m_watchKnown || m_consoles > 0; }

    void readOpensAndCloses()
    {
        alignas(inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_watchFd, buf, sizeof buf);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *ev = reinterpret_cast<const inotify_event *>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_Q_OVERFLOW) {
                    m_watchKnown = false; // lost count: assume someone is there
                } else if (ev->mask & IN_OPEN) {
                    ++m_consoles;
                } else if ((ev->mask & IN_CLOSE) && m_consoles > 0) {
                    if (--m_consoles == 0 && m_watchKnown) {
                        m_active = false;
                        m_pausedUntil.reset();
                        m_pty.discardUnread();
                        m_pty.restoreSettings();
                        m_settleUntil = Clock::now() + kSettle;
                    }
                }
            }
        }
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
        if (m_logFd >= 0) {
            const std::string line = command + "\n";
            [[maybe_unused]] const ssize_t w = ::write(m_logFd, line.data(), line.size());
        }
        if (m_settleUntil) {
            // The first command after a console left: the pty can hand out
            // bytes of the dropped reply a moment after the flush (under
            // load, some ms). Let them come, then discard them once more.
            const auto wait = *m_settleUntil - Clock::now();
            if (wait > Clock::duration::zero())
                std::this_thread::sleep_for(wait);
            m_pty.discardUnread();
            m_settleUntil.reset();
        }
        // A new command abandons whatever is left of the previous reply.
        m_plan = m_camera.handle(command);
        m_sent = 0;
        m_active = m_plan.total > 0;
        m_pausedUntil.reset();
        m_credit = 1.0; // the first byte goes out at once
        m_lastPace = Clock::now();
    }

    // Writes the bytes due now. False on a fatal error.
    bool pump(std::string &error)
    {
        if (!m_active)
            return true;
        const auto now = Clock::now();
        if (m_pausedUntil) {
            if (now < *m_pausedUntil)
                return true;
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
        if (consolePresent()) {
            int unread = 0;
            if (::ioctl(m_pty.slave(), TIOCINQ, &unread) == 0)
                want = std::min<std::size_t>(want, unread >= kMaxUnread ? 0 : kMaxUnread - unread);
        }
        if (!m_options.fast) {
            m_credit += std::chrono::duration<double>(now - m_lastPace).count() * kBytesPerSecond;
            m_credit = std::min(m_credit, kMaxBurst);
            m_lastPace = now;
            want = std::min(want, static_cast<std::size_t>(m_credit));
        }

        if (!consolePresent()) {
            // Nobody listens: the bytes go out into the void, at pace.
            m_sent += want;
            if (!m_options.fast)
                m_credit -= static_cast<double>(want);
            want = 0;
        }
        while (want > 0) {
            const std::string chunk = m_plan.bytes(m_sent, std::min<std::size_t>(want, 4096));
            const ssize_t n = ::write(m_pty.master(), chunk.data(), chunk.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    break; // the pty is full; keep reading commands meanwhile
                if (errno == EIO)
                    break;
                error = Errno("write pty");
                return false;
            }
            m_sent += static_cast<std::size_t>(n);
            want -= static_cast<std::size_t>(n);
            if (!m_options.fast)
                m_credit -= static_cast<double>(n);
        }

        if (m_sent == m_plan.hangupAt)
            return hangup(error);
        if (m_plan.pauseAt != ReplyPlan::kNever && m_sent == m_plan.pauseAt) {
            m_plan.pauseAt = ReplyPlan::kNever;
            m_pausedUntil = Clock::now() + std::chrono::milliseconds(kPauseMs);
        }
        if (m_sent >= m_plan.total)
            m_active = false;
        return true;
    }

    // Closes the pty in the middle of a reply, after giving the console a
    // moment to read what was already sent, then opens a fresh one.
    bool hangup(std::string &error)
    {
        const auto deadline = Clock::now() + kHangupDrainLimit;
        int quiet = 0;
        while (consolePresent() && Clock::now() < deadline && quiet < 2 && !g_stop) {
            int pending = 0;
            if (::ioctl(m_pty.slave(), TIOCINQ, &pending) != 0)
                break;
            quiet = pending == 0 ? quiet + 1 : 0;
            ::usleep(5000);
        }
        return reopenPty(error);
    }

    Options m_options;
    Camera m_camera;
    CommandAssembler m_assembler;
    Pty m_pty;
    int m_logFd = -1;
    bool m_linkPlaced = false;
    int m_watchFd = -1;
    bool m_watchKnown = false; // m_consoles is reliable
    int m_consoles = 0; // open file descriptions of the slave, besides camsim's

    ReplyPlan m_plan;
    std::size_t m_sent = 0;
    bool m_active = false;
    std::optional<Clock::time_point> m_pausedUntil;
    std::optional<Clock::time_point> m_settleUntil; // see startReply()
    double m_credit = 0.0;
    Clock::time_point m_lastPace {};
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
