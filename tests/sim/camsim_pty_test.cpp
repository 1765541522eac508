// camsim over a real pseudo-terminal, driven through CamsimProcess and plain
// POSIX open/termios, as a console would use it.

#include "sim/camsim_reply.h"
#include "support/camsim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

namespace {

struct Received {
    std::string data;
    bool hungUp = false;
    Ms firstByte { -1 };
    Ms maxGap { 0 }; // longest wait between two reads that brought bytes
    Ms elapsed { 0 };
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
    int fd() const { return m_fd; }

    void send(const std::string &bytes) { ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Reads until `want` bytes came, or nothing came for `quiet`, or the
    // device hung up, or `limit` passed since the call.
    Received read(std::size_t want, Ms quiet, Ms limit = 5000ms)
    {
        Received r;
        const auto start = Clock::now();
        auto last = start;
        while (r.data.size() < want) {
            const auto now = Clock::now();
            const auto left = std::min(limit - std::chrono::duration_cast<Ms>(now - start),
                                       quiet - std::chrono::duration_cast<Ms>(now - last));
            if (left.count() <= 0)
                break;
            pollfd pfd { m_fd, POLLIN, 0 };
            if (::poll(&pfd, 1, int(left.count())) <= 0)
                continue;
            char buf[65536];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0 && !(n < 0 && errno == EAGAIN)) {
                r.hungUp = true;
                break;
            }
            if (n <= 0)
                continue;
            const auto got = Clock::now();
            if (r.data.empty())
                r.firstByte = std::chrono::duration_cast<Ms>(got - start);
            else
                r.maxGap = std::max(r.maxGap, std::chrono::duration_cast<Ms>(got - last));
            last = got;
            r.data.append(buf, std::size_t(n));
        }
        r.elapsed = std::chrono::duration_cast<Ms>(Clock::now() - start);
        return r;
    }

    // Sends a command and returns the reply of the expected size, plus
    // anything that follows within 40 ms.
    std::string transact(const std::string &command, std::size_t expectedSize)
    {
        send(command + "\r");
        std::string reply = read(expectedSize, 2000ms).data;
        reply += read(SIZE_MAX, 40ms).data;
        return reply;
    }

private:
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

TEST(CamsimPty, FrameDumpArrivesWholeAtWirePaceWithoutPauses)
{
    CamsimProcess cam({ "--pattern", "checker" });
    PtyClient port(cam.linkPath());
    port.send("DF\r");
    const Received r = port.read(camsim::kDumpReplySize, 500ms, 8000ms);
    ASSERT_EQ(r.data.size(), camsim::kDumpReplySize);
    EXPECT_TRUE(Same(r.data, camsim::DumpReply(camsim::Pattern::Checker)));
    EXPECT_LT(r.firstByte, 20ms);
    EXPECT_LT(r.maxGap, 50ms);
    // 34,408 bytes at 11,520 bytes/s take 2.99 s.
    EXPECT_GT(r.elapsed, 2800ms);
    EXPECT_LT(r.elapsed, 4500ms);
    EXPECT_TRUE(port.read(1, 100ms).data.empty());
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
    std::string data = port.read(2000, 500ms).data;
    ASSERT_GE(data.size(), 2000u);
    port.send("\r");
    data += port.read(SIZE_MAX, 300ms).data;
    EXPECT_LT(data.size(), camsim::kDumpReplySize);
    EXPECT_TRUE(data.ends_with("ACK\r:"));
    EXPECT_EQ(data.find('\x03'), std::string::npos) << "the frame was not finished";
}

TEST(CamsimPty, KeepsReadingCommandsWhileNobodyDrainsAnEndlessReply)
{
    CamsimProcess cam({ "--fast", "--fault", "DF=endless" });
    PtyClient port(cam.linkPath());
    port.send("DF\r");
    std::this_thread::sleep_for(200ms); // camsim fills the pty and must not block
    port.send("PM 1\r");
    ASSERT_TRUE(cam.waitForCommands(2, 2000ms));
    Received r = port.read(SIZE_MAX, 300ms, 10000ms);
    EXPECT_GT(r.data.size(), 1000u); // the backlog camsim let build up...
    EXPECT_LT(r.data.size(), 16384u); // ...is kept small
    EXPECT_TRUE(r.data.ends_with("ACK\r:"));

    // Drained, the stream runs on past any frame's length, without an end.
    port.send("DF\r");
    r = port.read(200000, 1000ms);
    EXPECT_GE(r.data.size(), 200000u);
    EXPECT_EQ(r.data.find("\x03\r:"), std::string::npos);
    port.send("\r");
    EXPECT_TRUE(port.read(SIZE_MAX, 300ms).data.ends_with("ACK\r:"));
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
                EXPECT_GE(port.read(1000, 500ms).data.size(), 1000u);
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
    std::this_thread::sleep_for(50ms); // camsim notices the close
    PtyClient plain(cam.linkPath(), /*makeRaw=*/false);
    termios tio {};
    ASSERT_EQ(::tcgetattr(plain.fd(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B115200));
    int exclusive = -1;
    ASSERT_EQ(::ioctl(plain.fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(plain.transact("", 5), camsim::kAckReply);
}

TEST(CamsimPty, HangupMidReplyThenReconnectThroughTheLink)
{
    CamsimProcess cam({ "--fast", "--fault", "DF=hangup", "--fault-times", "1" });
    const std::string healthy = camsim::DumpReply(camsim::Pattern::Bars);
    {
        PtyClient port(cam.linkPath());
        EXPECT_EQ(port.transact("", 5), camsim::kAckReply);
        port.send("DF\r");
        const Received r = port.read(SIZE_MAX, 2000ms, 5000ms);
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
    EXPECT_TRUE(port.read(1, 300ms).data.empty());

    port.send("DF\r");
    const Received r = port.read(camsim::kDumpReplySize, 1000ms);
    EXPECT_TRUE(Same(r.data, camsim::DumpReply(camsim::Pattern::Bars)));
    EXPECT_GE(r.maxGap, 250ms);
    EXPECT_LT(r.maxGap, 1000ms);

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
    EXPECT_EQ(RunCamsim("--help"), 0);
    EXPECT_EQ(RunCamsim("--list"), 0);

    const std::string file = testing::TempDir() + "camsim_not_a_link";
    std::ofstream(file) << "keep";
    EXPECT_EQ(RunCamsim("--link " + file), 2);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    std::filesystem::remove(file);
}
