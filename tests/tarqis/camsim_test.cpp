// libtarqis.so against the simulated camera on a pty: the library opens the
// port through CAMCONSOLE_PORT1, as the console's driver test does.

#include "tarqis.h"

#include "qt_io/qt_serial_link.h"
#include "sim/camsim_reply.h"
#include "support/camsim_process.h"
#include "support/pty_pair.h"
#include "support/qt_app.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using camsim::CommandKind;
using camsim::FaultMode;
using camsim::Pattern;

constexpr std::size_t kBufferSize = TARQIS_FRAME_BUFFER_SIZE;
constexpr std::size_t kGuard = 256;
constexpr std::uint8_t kGuardByte = 0xA5;

// The console's frame buffer (all zeros) followed by guard bytes that the
// library must never touch.
struct Dump {
    std::int32_t result = -1;
    std::vector<std::uint8_t> storage = [] {
        std::vector<std::uint8_t> bytes(kBufferSize + kGuard, 0);
        std::fill(bytes.begin() + kBufferSize, bytes.end(), kGuardByte);
        return bytes;
    }();

    std::string prefix(std::size_t n) const
    {
        return std::string(storage.begin(), storage.begin() + static_cast<long>(n));
    }

    // Nothing written from index `from` on: zeros up to the buffer's end,
    // guard bytes after it.
    bool untouchedFrom(std::size_t from) const
    {
        for (std::size_t i = from; i < storage.size(); ++i)
            if (storage[i] != (i < kBufferSize ? 0 : kGuardByte))
                return false;
        return true;
    }
};

Dump DumpFrame()
{
    Dump dump;
    dump.result = CAM_DumpFrame(dump.storage.data());
    return dump;
}

std::string expectedReply(Pattern pattern, std::optional<FaultMode> fault = std::nullopt)
{
    return camsim::PlanReply(CommandKind::DF, pattern, fault).all();
}

class TarqisCamsim : public testing::Test {
protected:
    void start(std::vector<std::string> args)
    {
        cam = std::make_unique<CamsimProcess>(std::move(args));
        ::setenv("CAMCONSOLE_PORT1", cam->linkPath().c_str(), 1);
        ASSERT_EQ(CAM_Init("COM1"), 1);
    }

    void TearDown() override
    {
        CAM_ClosePort();
        ::unsetenv("CAMCONSOLE_PORT1");
    }

    std::unique_ptr<CamsimProcess> cam;
};

} // namespace

TEST_F(TarqisCamsim, PingAndCompleteFrameLikeTheConsole)
{
    start({ "--fast" });
    const std::string reply = expectedReply(Pattern::Bars);
    ASSERT_EQ(reply.size(), 34408u);
    const std::size_t endMarker = reply.size() - 3; // before the "\r:" prompt
    ASSERT_EQ(reply[endMarker], TARQIS_FRAME_END);

    EXPECT_EQ(CAM_Ping(), 1);
    const Dump dump = DumpFrame();
    EXPECT_EQ(dump.result, 1);
    EXPECT_EQ(dump.prefix(endMarker + 1), reply.substr(0, endMarker + 1));
    EXPECT_EQ(dump.storage[34405], TARQIS_FRAME_END);
    EXPECT_TRUE(dump.untouchedFrom(endMarker + 1));

    // The prompts left by the ping and the dump do not spoil the next
    // commands on the same port, nor does opening it again.
    EXPECT_EQ(CAM_Ping(), 1);
    EXPECT_EQ(DumpFrame().result, 1);
    EXPECT_EQ(CAM_Init("com1"), 1);
    EXPECT_EQ(CAM_Ping(), 1);
    EXPECT_TRUE(cam->waitForCommands(4));
    EXPECT_EQ(cam->receivedCommands(), (std::vector<std::string> { "", "DF", "", "DF", "" }));

    EXPECT_EQ(CAM_ClosePort(), 1);
    EXPECT_EQ(CAM_ClosePort(), 1);
    EXPECT_EQ(CAM_Ping(), 0);
}

TEST_F(TarqisCamsim, MarkerValuesInGreenAndBlueDoNotEndTheFrame)
{
    // The markers pattern cycles green and blue through 0..3; the awkward
    // fault adds more 0..3 components on top of it.
    for (const auto &[args, fault] :
         { std::pair<std::vector<std::string>, std::optional<FaultMode>> { { "--fast", "--pattern", "markers" },
                                                                           std::nullopt },
           { { "--fast", "--pattern", "markers", "--fault", "DF=awkward" }, FaultMode::Awkward } }) {
        SCOPED_TRACE(args.back());
        start(args);
        const std::string reply = expectedReply(Pattern::Markers, fault);
        const std::size_t frameBytes = reply.size() - 2;
        const Dump dump = DumpFrame();
        EXPECT_EQ(dump.result, 1);
        EXPECT_EQ(dump.prefix(frameBytes), reply.substr(0, frameBytes));
        EXPECT_TRUE(dump.untouchedFrom(frameBytes));
        CAM_ClosePort();
    }
}

TEST_F(TarqisCamsim, TruncatedFrameFailsAndKeepsWhatArrived)
{
    start({ "--fast", "--fault", "DF=short" });
    const std::string reply = expectedReply(Pattern::Bars, FaultMode::Short);
    const Dump dump = DumpFrame();
    EXPECT_EQ(dump.result, 0);
    // What arrived is in the buffer, nothing after it.
    EXPECT_EQ(dump.prefix(reply.size()), reply);
    EXPECT_TRUE(dump.untouchedFrom(reply.size()));
    EXPECT_EQ(std::string(CAM_LastError()), cam->linkPath() + ": the frame stopped before its end marker");
}

TEST_F(TarqisCamsim, OversizeStreamStopsAtTheBufferEnd)
{
    // 100 columns (43,008 bytes), and a stream that never ends.
    for (const FaultMode fault : { FaultMode::Long, FaultMode::Endless }) {
        const std::string name(camsim::FaultModeName(fault));
        SCOPED_TRACE(name);
        start({ "--fast", "--fault", "DF=" + name });
        const std::string reply = camsim::PlanReply(CommandKind::DF, Pattern::Bars, fault).bytes(0, kBufferSize);
        const Dump dump = DumpFrame();
        EXPECT_EQ(dump.result, 0);
        EXPECT_EQ(dump.prefix(kBufferSize), reply);
        EXPECT_TRUE(dump.untouchedFrom(kBufferSize));
        CAM_ClosePort();
    }
}

TEST_F(TarqisCamsim, SilentCameraAndBadPingRepliesFail)
{
    start({ "--fast", "--fault", "silent", "--fault-times", "2" });
    EXPECT_EQ(CAM_Ping(), 0);
    EXPECT_EQ(std::string(CAM_LastError()), cam->linkPath() + ": the camera did not answer the ping");

    const Dump dump = DumpFrame();
    EXPECT_EQ(dump.result, 0);
    EXPECT_EQ(std::string(CAM_LastError()), cam->linkPath() + ": the camera did not answer \"DF\"");
    EXPECT_TRUE(dump.untouchedFrom(0));
    // The fault is used up: the camera answers again.
    EXPECT_EQ(CAM_Ping(), 1);
    EXPECT_EQ(std::string(CAM_LastError()), "");
    CAM_ClosePort();

    // "ACK" must stand at the start of the reply.
    for (const char *mode : { "PING=nck", "PING=late-ack", "PING=garbage" }) {
        SCOPED_TRACE(mode);
        start({ "--fast", "--fault", mode });
        EXPECT_EQ(CAM_Ping(), 0);
        CAM_ClosePort();
    }
}

TEST_F(TarqisCamsim, PauseShorterThanTheIdleTimeoutIsWaitedOut)
{
    // camsim pauses 300 ms in the middle of the reply.
    start({ "--fast", "--pattern", "checker", "--fault", "DF=pause" });
    const std::string reply = expectedReply(Pattern::Checker);
    const Dump dump = DumpFrame();
    EXPECT_EQ(dump.result, 1);
    EXPECT_EQ(dump.storage[reply.size() - 3], TARQIS_FRAME_END);
}

TEST_F(TarqisCamsim, HangupFailsAndTheNextInitReopens)
{
    start({ "--fast", "--fault", "DF=hangup", "--fault-times", "1" });
    const Dump dump = DumpFrame();
    EXPECT_EQ(dump.result, 0);

    // camsim opens a fresh pty behind the same link.
    ASSERT_FALSE(cam->nextDevicePath().empty());
    ASSERT_EQ(CAM_Init("COM1"), 1);
    EXPECT_EQ(CAM_Ping(), 1);
    EXPECT_EQ(DumpFrame().result, 1);
}

TEST_F(TarqisCamsim, OneOwnerPerDeviceBetweenTheLibraryAndTheConsole)
{
    EnsureQtApp();
    start({ "--fast" }); // the library holds the camera through camsim's symlink
    const std::string held = "the port is in use by another program";
    // The holder has been served, so camsim has seen it open. (camsim counts
    // opens with inotify, which merges two that follow each other unread;
    // the console's refused open and close would then look like the last
    // console leaving.)
    ASSERT_EQ(CAM_Ping(), 1);
    EXPECT_TRUE(TerminalIsExclusive(cam->devicePath())) << "the library sets the terminal's exclusive mode";

    // The console's link, through the pty's own name, is refused.
    ::setenv("CAMCONSOLE_PORT1", cam->devicePath().c_str(), 1);
    QtSerialLink console;
    try {
        console.setPortOpen(true);
        ADD_FAILURE() << "the console opened a port the library holds";
    } catch (const LinkError &error) {
        EXPECT_EQ(error.cause(), LinkError::Cause::Busy);
        EXPECT_EQ(std::string(error.what()), cam->devicePath() + ": " + held);
    }
    // camsim saw a console come and go, and for a moment after a console
    // leaves it discards what the pty hands out; on a busy machine the next
    // ping can fall into that moment. The holder must still be served.
    EXPECT_TRUE(WaitUntil([] { return CAM_Ping() == 1; })) << "the holder is undisturbed";
    CAM_ClosePort();
    EXPECT_FALSE(TerminalIsExclusive(cam->devicePath())) << "and clears it when it lets go";

    // Once the library let go, the console opens; now the library is refused.
    console.setPortOpen(true);
    ::setenv("CAMCONSOLE_PORT1", cam->linkPath().c_str(), 1);
    EXPECT_EQ(CAM_Init("COM1"), 0);
    EXPECT_EQ(std::string(CAM_LastError()), cam->linkPath() + ": " + held);
    EXPECT_EQ(CAM_Ping(), 0);
    EXPECT_TRUE(TerminalIsExclusive(cam->devicePath())) << "the refused library leaves the holder's mode alone";

    console.setPortOpen(false);
    EXPECT_EQ(CAM_Init("COM1"), 1);
    EXPECT_EQ(std::string(CAM_LastError()), "");
    EXPECT_TRUE(WaitUntil([] { return CAM_Ping() == 1; }));
}

TEST_F(TarqisCamsim, FrameAtWirePace)
{
    // Without --fast camsim paces the reply at 115200 baud (about 3 s), so
    // the library reads it in many small pieces.
    start({ "--pattern", "gradient" });
    const std::string reply = expectedReply(Pattern::Gradient);
    EXPECT_EQ(CAM_Ping(), 1);
    const Dump dump = DumpFrame();
    EXPECT_EQ(dump.result, 1);
    EXPECT_EQ(dump.prefix(reply.size() - 2), reply.substr(0, reply.size() - 2));
    EXPECT_TRUE(dump.untouchedFrom(reply.size() - 2));
}
