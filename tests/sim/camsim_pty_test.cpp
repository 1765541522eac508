// camsim over a real pseudo-terminal, driven through CamsimProcess and plain
// POSIX open/termios, as a console would use it.

#include "sim/camsim_console_watch.h"
#include "sim/camsim_reply.h"
#include "support/camsim_process.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

namespace {

// Waits for conditions only; this limit is there to end a hung test, never
// to judge speed (the pacing figures are bench/camsim_pacing's business).
constexpr Ms kHangGuard = 20000ms;

struct Received {
    std::string data;
    bool hungUp = false;
};

// One connection to the camera's device, raw, as a console opens it.
class PtyClient {
public:
    explicit PtyClient(const std::string &path, bool makeRaw = true)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        if (!makeRaw)
            return;
        termios tio {};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~PtyClient() { ::close(m_fd); }
    PtyClient(const PtyClient &) = delete;
    PtyClient &operator=(const PtyClient &) = delete;
    int fd() const { return m_fd; }

    void send(const std::string &bytes) { ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Bytes camsim wrote that this connection has not read yet.
    std::size_t unread() const
    {
        int pending = 0;
        return ::ioctl(m_fd, FIONREAD, &pending) == 0 ? std::size_t(pending) : 0;
    }

    // Reads until `done(data)` holds or the device hangs up (or kHangGuard
    // passed, which fails the caller's expectations).
    Received readUntil(const std::function<bool(const std::string &)> &done)
    {
        Received r;
        const auto deadline = Clock::now() + kHangGuard;
        while (!done(r.data) && Clock::now() < deadline) {
            if (readOnce(r, 50ms))
                break;
        }
        return r;
    }
    Received readBytes(std::size_t n)
    {
        return readUntil([n](const std::string &data) { return data.size() >= n; });
    }
    Received readUntilEnd(std::string_view end)
    {
        return readUntil([end](const std::string &data) { return data.ends_with(end); });
    }

    // Whatever arrives within `window`. Only for checking that nothing (more)
    // comes: under load a late byte may be missed, but none is made up.
    std::string readFor(Ms window)
    {
        Received r;
        const auto deadline = Clock::now() + window;
        for (auto now = Clock::now(); now < deadline && !r.hungUp; now = Clock::now())
            readOnce(r, std::chrono::duration_cast<Ms>(deadline - now));
        return r.data;
    }

    // Sends a command and returns the reply of the expected size, plus
    // anything that follows within 40 ms.
    std::string transact(const std::string &command, std::size_t expectedSize)
    {
        send(command + "\r");
        std::string reply = readBytes(expectedSize).data;
        reply += readFor(40ms);
        return reply;
    }

private:
    // Waits up to `wait` for bytes and appends what came; true on a hangup.
    bool readOnce(Received &r, Ms wait)
    {
        pollfd pfd { m_fd, POLLIN, 0 };
        if (::poll(&pfd, 1, int(std::max(wait.count(), Ms::rep(1)))) <= 0)
            return false;
        char buf[65536];
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0)
            r.data.append(buf, std::size_t(n));
        else if (!(n < 0 && (errno == EAGAIN || errno == EINTR)))
            r.hungUp = true;
        return r.hungUp;
    }

    int m_fd = -1;
};

// Compares byte strings without printing kilobytes of binary on failure.
testing::AssertionResult Same(const std::string &actual, const std::string &expected)
{
    if (actual == expected)
        return testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at offset " << at;
}

// Holds camsim (a child of this process) stopped for `length`, as a machine
// that does not run it would. A ptrace stop, because a SIGCONT from someone
// else does not end it: a freezer run beside the suite stops and resumes
// every camsim, and a plain SIGSTOP held by this test would let camsim run
// for a moment and top up its lead. Where tracing is not permitted, SIGSTOP
// is sent again every few ms instead.
void HoldStopped(pid_t pid, Ms length)
{
    if (::ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) != 0) {
        const auto until = Clock::now() + length;
        while (Clock::now() < until) {
            ASSERT_EQ(::kill(pid, SIGSTOP), 0);
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_EQ(::kill(pid, SIGCONT), 0);
        return;
    }
    ASSERT_EQ(::ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr), 0) << std::strerror(errno);
    // Any stop reported now (the interrupt, or a signal someone sent) holds
    // camsim until it is let go.
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, __WALL), pid) << std::strerror(errno);
    ASSERT_TRUE(WIFSTOPPED(status));
    std::this_thread::sleep_for(length);
    ASSERT_EQ(::ptrace(PTRACE_DETACH, pid, nullptr, nullptr), 0) << std::strerror(errno);
}

int RunCamsim(const std::string &args)
{
    const int status = std::system((std::string(CAMSIM_EXECUTABLE) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(CamsimPty, AnswersPingAndCommandsExactlyAndLogsThem)
{
    CamsimProcess cam({ "--fast" });
    EXPECT_EQ(std::filesystem::read_symlink(cam.linkPath()).string(), cam.devicePath());
    PtyClient port(cam.linkPath());
    EXPECT_EQ(port.transact("", 5), camsim::kAckReply);
    EXPECT_EQ(port.transact("df", 5), camsim::kNckReply);
    EXPECT_EQ(port.transact("PM 1", 5), camsim::kAckReply);
    EXPECT_EQ(port.transact("P\nM 0", 5), camsim::kAckReply); // LF is ignored
    EXPECT_EQ(port.transact("PM 2", 5), camsim::kNckReply);
    EXPECT_EQ(port.transact("TW", 5), camsim::kNckReply); // not in line mode
    ASSERT_TRUE(cam.waitForCommands(6));
    EXPECT_EQ(cam.receivedCommands(), (std::vector<std::string> { "", "df", "PM 1", "PM 0", "PM 2", "TW" }));
}

TEST(CamsimPty, PacedFrameDumpArrivesWholeAndNothingAfter)
{
    // The pace itself is unit-tested in virtual time (camsim_pacer_test)
    // and measured by bench/camsim_pacing.
    CamsimProcess cam({ "--pattern", "checker" });
    PtyClient port(cam.linkPath());
    port.send("DF\r");
    const Received r = port.readBytes(camsim::kDumpReplySize);
    EXPECT_TRUE(Same(r.data, camsim::DumpReply(camsim::Pattern::Checker)));
    EXPECT_TRUE(port.readFor(100ms).empty());
}

TEST(CamsimPty, AStopOfCamsimWithinItsLeadLeavesNoGapAndALongerOneIsReported)
{
    // A busy virtual machine stops camsim's CPU, and so camsim, now and
    // then: its relays send on what was queued, and only a stop longer than
    // the lead (200 ms) leaves a gap, which camsim reports.
    CamsimProcess cam({ "--pattern", "checker" });
    PtyClient port(cam.linkPath());
    for (const Ms stop : { 100ms, 400ms }) {
        port.send("DF\r");
        std::string data = port.readBytes(8000).data;
        HoldStopped(cam.pid(), stop);
        data += port.readBytes(camsim::kDumpReplySize - data.size()).data;
        EXPECT_TRUE(Same(data, camsim::DumpReply(camsim::Pattern::Checker))) << stop.count() << " ms; camsim said:\n"
                                                                             << cam.stderrText();
    }
    // The reports of this test's stops: one at byte 0 is a stop by someone
    // else (a freezer beside the suite) just as "DF" came.
    const auto ownReports = [&] {
        std::vector<std::string> lines;
        std::istringstream text(cam.stderrText());
        for (std::string line; std::getline(text, line);)
            if (line.starts_with("camsim: stalled") && line.find(" at byte 0 of ") == std::string::npos)
                lines.push_back(line);
        return lines;
    };
    ASSERT_TRUE(WaitUntil([&] { return !ownReports().empty(); })) << cam.stderrText();
    const std::vector<std::string> reports = ownReports();
    ASSERT_EQ(reports.size(), 1u) << cam.stderrText();
    unsigned ms = 0;
    unsigned byte = 0;
    char tail[128] = {};
    ASSERT_EQ(std::sscanf(reports[0].c_str(), "camsim: stalled for %u ms at byte %u,%*u of the DF reply: %127[^\n]",
                          &ms, &byte, tail),
              3)
        << reports[0];
    EXPECT_GE(ms, 100u);
    EXPECT_GE(byte, 8u) << "the gap came after the 8,000 bytes read before the stop";
    EXPECT_STREQ(tail, "the machine did not run camsim; a console may have taken it for a pause");
}

TEST(CamsimPty, LineModeGatesTheBitmap)
{
    CamsimProcess cam({ "--fast" });
    PtyClient port(cam.linkPath());
    EXPECT_EQ(port.transact("TW", 5), camsim::kNckReply);
    EXPECT_EQ(port.transact("PM 1", 5), camsim::kAckReply);
    EXPECT_EQ(port.transact("LM 1", 5), camsim::kAckReply);
    EXPECT_TRUE(Same(port.transact("TW", camsim::kLineModeReplySize), camsim::LineModeReply()));
    EXPECT_TRUE(Same(port.transact("TW", camsim::kLineModeReplySize), camsim::LineModeReply()));
    EXPECT_EQ(port.transact("LM 0", 5), camsim::kAckReply);
    EXPECT_EQ(port.transact("TW", 5), camsim::kNckReply);
}

TEST(CamsimPty, NewCommandAbandonsTheReplyInProgress)
{
    CamsimProcess cam;
    PtyClient port(cam.linkPath());
    port.send("DF\r");
    std::string data = port.readBytes(2000).data;
    ASSERT_GE(data.size(), 2000u);
    // camsim reads commands between any two writes and writes no more than
    // a burst at a time: the ping comes long before the frame's end.
    port.send("\r");
    data += port.readUntilEnd(camsim::kAckReply).data;
    EXPECT_LT(data.size(), camsim::kDumpReplySize);
    EXPECT_TRUE(data.ends_with("ACK\r:"));
    EXPECT_EQ(data.find('\x03'), std::string::npos) << "the frame was not finished";
}

TEST(CamsimPty, KeepsReadingCommandsWhileNobodyDrainsAnEndlessReply)
{
    CamsimProcess cam({ "--fast", "--fault", "DF=endless" });
    PtyClient port(cam.linkPath());
    port.send("DF\r");
    // camsim fills the pty up to its limit and must not block there.
    ASSERT_TRUE(WaitUntil([&] { return port.unread() >= 2048; }));
    port.send("PM 1\r");
    ASSERT_TRUE(cam.waitForCommands(2));
    Received r = port.readUntilEnd(camsim::kAckReply);
    EXPECT_GE(r.data.size(), 2048u + camsim::kAckReply.size()); // the backlog camsim let build up...
    EXPECT_LT(r.data.size(), 16384u); // ...is kept small

    // Drained, the stream runs on past any frame's length, without an end.
    port.send("DF\r");
    r = port.readBytes(200000);
    EXPECT_GE(r.data.size(), 200000u);
    EXPECT_EQ(r.data.find("\x03\r:"), std::string::npos);
    port.send("\r");
    EXPECT_TRUE(port.readUntilEnd(camsim::kAckReply).data.ends_with(camsim::kAckReply));
}

TEST(CamsimPty, SeveralConnectionsInARowEachStartClean)
{
    // At wire pace each connection leaves a dump half read; what it left
    // must not reach the next one, as with a real port that was closed.
    // With --fast the connections read everything.
    for (const bool fast : { true, false }) {
        SCOPED_TRACE(fast ? "--fast" : "paced");
        CamsimProcess cam({ fast ? "--fast" : "--pattern=bars", "--pattern", "markers" });
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            PtyClient port(cam.linkPath());
            EXPECT_TRUE(Same(port.transact("", 5), std::string(camsim::kAckReply)));
            if (fast) {
                EXPECT_TRUE(
                    Same(port.transact("DF", camsim::kDumpReplySize), camsim::DumpReply(camsim::Pattern::Markers)));
            } else {
                port.send("DF\r");
                EXPECT_GE(port.readBytes(1000).data.size(), 1000u);
            }
        }
        PtyClient port(cam.linkPath());
        EXPECT_TRUE(Same(port.transact("", 5), std::string(camsim::kAckReply)));
        EXPECT_EQ(cam.receivedCommands().size(), 9u);
    }
}

TEST(CamsimPty, SettingsLeftByAConsoleDoNotReachTheNext)
{
    CamsimProcess cam({ "--fast" });
    {
        PtyClient careless(cam.linkPath());
        termios tio {};
        ASSERT_EQ(::tcgetattr(careless.fd(), &tio), 0);
        tio.c_lflag |= ECHO | ICANON;
        ASSERT_EQ(::tcsetattr(careless.fd(), TCSANOW, &tio), 0);
        ASSERT_EQ(::ioctl(careless.fd(), TIOCEXCL), 0);
    }
    // camsim restores its settings when it notices the close, a moment
    // later: open afresh until the next console finds them.
    std::unique_ptr<PtyClient> plain;
    termios tio {};
    int exclusive = -1;
    const bool restored = WaitUntil([&] {
        plain.reset();
        try {
            plain = std::make_unique<PtyClient>(cam.linkPath(), /*makeRaw=*/false);
        } catch (const std::runtime_error &) {
            return false; // still exclusive to the careless one (EBUSY)
        }
        return ::tcgetattr(plain->fd(), &tio) == 0 && ::ioctl(plain->fd(), TIOCGEXCL, &exclusive) == 0
            && (tio.c_lflag & (ECHO | ICANON)) == 0 && exclusive == 0;
    });
    ASSERT_TRUE(restored) << "lflag " << tio.c_lflag << ", exclusive " << exclusive;
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B115200));
    EXPECT_EQ(plain->transact("", 5), camsim::kAckReply);
}

// A console that opened the device before camsim came to the last one's
// close is there: camsim must leave its exclusive mode and settings alone.
// (inotify reports a file's opens and closes as a device's.)
TEST(CamsimConsoleWatch, ACloseReadTogetherWithAnOpenLeavesAConsoleThere)
{
    char path[] = "/tmp/camsim-watch-XXXXXX";
    const int own = ::mkstemp(path);
    ASSERT_GE(own, 0);
    camsim::ConsoleWatch watch;
    watch.start(path);
    std::vector<bool> calls; // consoleBack of each call
    const auto read = [&] { watch.readEvents([&](bool consoleBack) { calls.push_back(consoleBack); }); };
    const int first = ::open(path, O_RDONLY);
    read();
    ::close(first);
    const int second = ::open(path, O_RDONLY);
    read();
    EXPECT_EQ(calls, std::vector<bool> { true }) << "the last left and another came";
    EXPECT_TRUE(watch.consolePresent());
    ::close(second);
    read();
    EXPECT_EQ(calls, (std::vector<bool> { true, false }));
    EXPECT_FALSE(watch.consolePresent());
    ::close(own);
    ::unlink(path);
}

TEST(CamsimPty, HangupMidReplyThenReconnectThroughTheLink)
{
    CamsimProcess cam({ "--fast", "--fault", "DF=hangup", "--fault-times", "1" });
    const std::string healthy = camsim::DumpReply(camsim::Pattern::Bars);
    {
        PtyClient port(cam.linkPath());
        EXPECT_EQ(port.transact("", 5), camsim::kAckReply);
        port.send("DF\r");
        const Received r = port.readUntil([](const std::string &) { return false; });
        EXPECT_TRUE(r.hungUp);
        EXPECT_LT(r.data.size(), healthy.size());
        EXPECT_TRUE(Same(r.data, healthy.substr(0, r.data.size())));
    }
    const std::string second = cam.nextDevicePath();
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(std::filesystem::read_symlink(cam.linkPath()).string(), second);

    PtyClient port(cam.linkPath());
    EXPECT_EQ(port.transact("", 5), camsim::kAckReply);
    EXPECT_TRUE(Same(port.transact("DF", healthy.size()), healthy)); // the fault ran out
    EXPECT_EQ(cam.receivedCommands(), (std::vector<std::string> { "", "DF", "", "DF" }));
}

TEST(CamsimPty, SilentPingAndPausedDumpThenHealthy)
{
    CamsimProcess cam({ "--fast", "--fault", "PING=silent", "--fault", "DF=pause", "--fault-times", "1" });
    PtyClient port(cam.linkPath());
    port.send("\r");
    EXPECT_TRUE(port.readFor(300ms).empty());

    // The pause's length is unit-tested in virtual time (camsim_pacer_test).
    port.send("DF\r");
    EXPECT_TRUE(Same(port.readBytes(camsim::kDumpReplySize).data, camsim::DumpReply(camsim::Pattern::Bars)));

    EXPECT_EQ(port.transact("", 5), camsim::kAckReply);
}

TEST(CamsimProcessLifecycle, StopsOnSigtermAndRemovesItsLink)
{
    CamsimProcess cam;
    ASSERT_TRUE(std::filesystem::is_symlink(cam.linkPath()));
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(cam.linkPath())));
    EXPECT_EQ(cam.stop(), 0);
}

TEST(CamsimProcessLifecycle, BadArgumentsFailFastWithStatus2)
{
    try {
        CamsimProcess cam({ "--pattern", "stripes" });
        FAIL() << "camsim started with a bad pattern";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("unknown pattern 'stripes'"), std::string::npos) << e.what();
    }
    EXPECT_EQ(RunCamsim("--fault DF=sometimes"), 2);
    EXPECT_EQ(RunCamsim("--fault-times"), 2);
    EXPECT_EQ(RunCamsim("--lead 2001"), 2);
    EXPECT_EQ(RunCamsim("--lead=-5"), 2);
    EXPECT_EQ(RunCamsim("--help"), 0);
    EXPECT_EQ(RunCamsim("--list"), 0);

    const std::string file = testing::TempDir() + "camsim_not_a_link";
    std::ofstream(file) << "keep";
    EXPECT_EQ(RunCamsim("--link " + file), 2);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    std::filesystem::remove(file);
}
