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
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = Errno("grantpt/unlockpt");
        close();
        return false;
    }
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        error = Errno("ptsname_r");
        close();
        return false;
    }
    slavePath_ = name;
    // Non-blocking: camsim reads its own slave only to discard what a
    // departed console left unread.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) {
        error = Errno("open pty slave");
        close();
        return false;
    }
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) {
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
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) {
        error = Errno("tcsetattr");
        close();
        return false;
    }
    settings_ = tio;
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Errno("fcntl O_NONBLOCK");
        close();
        return false;
    }
    return true;
}

void Pty::discardUnread()
{
    if (slave_ < 0)
        return;
    // Flushing does not reliably reach what still waits in the pty's own
    // buffers: that flows in once the line discipline has room. So flush,
    // then read the slave dry until nothing has come for a moment (bounded).
    ::tcflush(master_, TCOFLUSH);
    ::tcflush(slave_, TCIFLUSH);
    const auto deadline = Clock::now() + kDiscardLimit;
    char scratch[4096];
    while (Clock::now() < deadline) {
        pollfd pfd{slave_, POLLIN, 0};
        if (::poll(&pfd, 1, kDiscardQuietMs) <= 0)
            break;
        if (::read(slave_, scratch, sizeof scratch) <= 0)
            break;
    }
}

void Pty::restoreSettings()
{
    if (slave_ < 0)
        return;
    ::ioctl(slave_, TIOCNXCL);
    ::tcsetattr(slave_, TCSANOW, &settings_);
}

void Pty::close()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
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
        : options_(options), camera_(options.pattern, options.faults, options.faultTimes)
    {
    }

    ~Simulator()
    {
        unwatchSlave();
        if (logFd_ >= 0)
            ::close(logFd_);
        removeLink();
    }

    int run()
    {
        std::string error;
        if (!options_.logPath.empty()) {
            logFd_ = ::open(options_.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (logFd_ < 0) {
                std::fprintf(stderr, "camsim: cannot open log %s: %s\n", options_.logPath.c_str(),
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
            pollfd fds[2] = {{pty_.master(), POLLIN, 0}, {watchFd_, POLLIN, 0}};
            pollfd &pfd = fds[0];
            std::optional<Clock::duration> timeout;
            if (active_) {
                const auto now = Clock::now();
                if (pausedUntil_)
                    timeout = std::max(Clock::duration::zero(), *pausedUntil_ - now);
                else
                    timeout = options_.fast ? kFastTick : kPaceTick;
            }
            timespec ts{};
            if (timeout) {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count();
                ts.tv_sec = static_cast<time_t>(ns / 1000000000);
                ts.tv_nsec = static_cast<long>(ns % 1000000000);
            }
            const int n = ::ppoll(fds, watchFd_ >= 0 ? 2 : 1, timeout ? &ts : nullptr, &waitMask);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                std::fprintf(stderr, "camsim: %s\n", Errno("ppoll").c_str());
                return 1;
            }
            // Opens and closes first: a console opens the device before it
            // writes its first command.
            if (watchFd_ >= 0 && (fds[1].revents & POLLIN))
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
        if (!pty_.open(error))
            return false;
        watchSlave();
        // The link first, so that it is in place once the path is printed.
        if (!options_.linkPath.empty()) {
            if (!PlaceSymlink(options_.linkPath, pty_.slavePath(), error))
                return false;
            linkPlaced_ = true;
        }
        std::printf("%s\n", pty_.slavePath().c_str());
        std::fflush(stdout);
        return true;
    }

    bool reopenPty(std::string &error)
    {
        unwatchSlave();
        pty_.close();
        active_ = false;
        assembler_ = CommandAssembler{};
        return openPty(error);
    }

    void removeLink()
    {
        if (!linkPlaced_)
            return;
        char buf[512];
        const ssize_t n = ::readlink(options_.linkPath.c_str(), buf, sizeof buf - 1);
        if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == pty_.slavePath())
            ::unlink(options_.linkPath.c_str());
        linkPlaced_ = false;
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
        consoles_ = 0;
        watchKnown_ = false;
        watchFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watchFd_ < 0)
            return;
        if (::inotify_add_watch(watchFd_, pty_.slavePath().c_str(), IN_OPEN | IN_CLOSE) < 0) {
            unwatchSlave();
            return;
        }
        watchKnown_ = true;
    }

    void unwatchSlave()
    {
        if (watchFd_ >= 0)
            ::close(watchFd_);
        watchFd_ = -1;
        watchKnown_ = false;
    }

    bool consolePresent() const { return !watchKnown_ || consoles_ > 0; }

    void readOpensAndCloses()
    {
        alignas(inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = ::read(watchFd_, buf, sizeof buf);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *ev = reinterpret_cast<const inotify_event *>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_Q_OVERFLOW) {
                    watchKnown_ = false; // lost count: assume someone is there
                } else if (ev->mask & IN_OPEN) {
                    ++consoles_;
                } else if ((ev->mask & IN_CLOSE) && consoles_ > 0) {
                    if (--consoles_ == 0 && watchKnown_) {
                        active_ = false;
                        pausedUntil_.reset();
                        pty_.discardUnread();
                        pty_.restoreSettings();
                        settleUntil_ = Clock::now() + kSettle;
                    }
                }
            }
        }
    }

    void readCommands()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
            if (n <= 0)
                return; // EAGAIN: all read; EIO: nobody else there (harmless)
            for (std::string &command : assembler_.feed(std::string_view(buf, static_cast<std::size_t>(n))))
                startReply(command);
        }
    }

    void startReply(const std::string &command)
    {
        if (logFd_ >= 0) {
            const std::string line = command + "\n";
            [[maybe_unused]] const ssize_t w = ::write(logFd_, line.data(), line.size());
        }
        if (settleUntil_) {
            // The first command after a console left: the pty can hand out
            // bytes of the dropped reply a moment after the flush (under
            // load, some ms). Let them come, then discard them once more.
            const auto wait = *settleUntil_ - Clock::now();
            if (wait > Clock::duration::zero())
                std::this_thread::sleep_for(wait);
            pty_.discardUnread();
            settleUntil_.reset();
        }
        // A new command abandons whatever is left of the previous reply.
        plan_ = camera_.handle(command);
        sent_ = 0;
        active_ = plan_.total > 0;
        pausedUntil_.reset();
        credit_ = 1.0; // the first byte goes out at once
        lastPace_ = Clock::now();
    }

    // Writes the bytes due now. False on a fatal error.
    bool pump(std::string &error)
    {
        if (!active_)
            return true;
        const auto now = Clock::now();
        if (pausedUntil_) {
            if (now < *pausedUntil_)
                return true;
            pausedUntil_.reset();
            credit_ = 1.0;
            lastPace_ = now;
        }

        std::size_t limit = plan_.total;
        if (plan_.pauseAt != ReplyPlan::kNever && sent_ < plan_.pauseAt)
            limit = std::min(limit, plan_.pauseAt);
        if (plan_.hangupAt != ReplyPlan::kNever)
            limit = std::min(limit, plan_.hangupAt);

        std::size_t want = limit - sent_;
        if (consolePresent()) {
            int unread = 0;
            if (::ioctl(pty_.slave(), TIOCINQ, &unread) == 0)
                want = std::min<std::size_t>(want, unread >= kMaxUnread ? 0 : kMaxUnread - unread);
        }
        if (!options_.fast) {
            credit_ += std::chrono::duration<double>(now - lastPace_).count() * kBytesPerSecond;
            credit_ = std::min(credit_, kMaxBurst);
            lastPace_ = now;
            want = std::min(want, static_cast<std::size_t>(credit_));
        }

        if (!consolePresent()) {
            // Nobody listens: the bytes go out into the void, at pace.
            sent_ += want;
            if (!options_.fast)
                credit_ -= static_cast<double>(want);
            want = 0;
        }
        while (want > 0) {
            const std::string chunk = plan_.bytes(sent_, std::min<std::size_t>(want, 4096));
            const ssize_t n = ::write(pty_.master(), chunk.data(), chunk.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    break; // the pty is full; keep reading commands meanwhile
                if (errno == EIO)
                    break;
                error = Errno("write pty");
                return false;
            }
            sent_ += static_cast<std::size_t>(n);
            want -= static_cast<std::size_t>(n);
            if (!options_.fast)
                credit_ -= static_cast<double>(n);
        }

        if (sent_ == plan_.hangupAt)
            return hangup(error);
        if (plan_.pauseAt != ReplyPlan::kNever && sent_ == plan_.pauseAt) {
            plan_.pauseAt = ReplyPlan::kNever;
            pausedUntil_ = Clock::now() + std::chrono::milliseconds(kPauseMs);
        }
        if (sent_ >= plan_.total)
            active_ = false;
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
            if (::ioctl(pty_.slave(), TIOCINQ, &pending) != 0)
                break;
            quiet = pending == 0 ? quiet + 1 : 0;
            ::usleep(5000);
        }
        return reopenPty(error);
    }

    Options options_;
    Camera camera_;
    CommandAssembler assembler_;
    Pty pty_;
    int logFd_ = -1;
    bool linkPlaced_ = false;
    int watchFd_ = -1;
    bool watchKnown_ = false; // consoles_ is reliable
    int consoles_ = 0;        // open file descriptions of the slave, besides camsim's

    ReplyPlan plan_;
    std::size_t sent_ = 0;
    bool active_ = false;
    std::optional<Clock::time_point> pausedUntil_;
    std::optional<Clock::time_point> settleUntil_; // see startReply()
    double credit_ = 0.0;
    Clock::time_point lastPace_{};
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
