#include "procedures/camera_tests.h"

#include "support/fake_platform.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

const std::string kTinyFrame = std::string("ACK\r\x01\x02", 6) + "\x0A\x14\x1E" + "\x03\r:";

class CameraTestsTest : public ::testing::Test {
protected:
    FakePlatform f;
    CameraTests tests { f.platform };
};

// --- direct RGB dump -------------------------------------------------------

TEST_F(CameraTestsTest, DirectDumpDrawsTheFrameAndLogsEveryStep)
{
    f.pic.setPixel(100, 100, kBlue); // an earlier test's picture
    f.com.answerNext("ACK\r:");
    f.com.answerNext(kTinyFrame);

    tests.df_nomral_Click();

    EXPECT_EQ(f.com.portNumber, 1);
    EXPECT_EQ(f.com.receiveBufferSize, 32764);
    EXPECT_EQ(f.com.written, Lines({ "\r", "DF\r" }));
    // The dump arrives during the first 50 ms cycle; the second finds the pause.
    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....OK",
                      "Sending Command & Starting Frame Dump Timer...", "Total Time To Get Frame:100",
                      "Dumping Frame...", "Time to Process Frame: 0" }));
    EXPECT_EQ(f.time.sleeps.front(), 100) << "waits after opening, before the first command";
    EXPECT_EQ(f.pic.at(100, 100), RecordingSurface::kBackground) << "the earlier picture is wiped";
    EXPECT_TRUE(f.pic.pixelUnits);
    EXPECT_EQ(f.pic.at(2, 0), MakeColor(10, 20, 30));
    EXPECT_EQ(f.pic.at(3, 0), MakeColor(10, 20, 30));
    EXPECT_FALSE(f.com.open);
    EXPECT_EQ(f.com.closes, 1);
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Succeeded);
}

TEST_F(CameraTestsTest, DirectDumpSaysWhenTheFrameIsIncomplete)
{
    // Cut inside a pixel; without a frame start at all; a complete frame
    // followed by the start of another.
    for (const std::string &dump :
         { std::string("ACK\r\x01\x02\x0A\x14", 8), std::string("ACK\r:"), kTinyFrame + "\x01\x02" }) {
        f.com.answerNext("ACK\r:");
        f.com.answerNext(dump);
        tests.df_nomral_Click();
        const Lines lines = f.status.lines();
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[6], "Time to Process Frame: 0");
        EXPECT_EQ(lines[7], "Frame incomplete: the end marker did not arrive");
        EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);
    }
}

TEST_F(CameraTestsTest, DirectDumpWithNoCameraLeavesThePictureAlone)
{
    tests.df_nomral_Click();
    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....FAILED",
                      "Sending Command & Starting Frame Dump Timer...", "Total Time To Get Frame:50",
                      "Error Dumping Frame", "Time to Process Frame: 0" }));
    EXPECT_TRUE(f.pic.untouched());
    EXPECT_FALSE(f.com.open);
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);

    tests.df_nomral_Click(); // the port was closed: a second run works the same
    EXPECT_EQ(f.com.opens, 2);
    EXPECT_EQ(f.status.lines().size(), 7u);
}

TEST_F(CameraTestsTest, DirectDumpGoesOnAfterLinkErrors)
{
    f.com.failOutput = LinkError(LinkError::Cause::WriteFailed, "Input/output error");
    f.com.answerNext(kTinyFrame);
    tests.df_nomral_Click();
    const Lines lines = f.status.lines();
    EXPECT_EQ(lines[2], "COMPort Error Getting Frame");
    EXPECT_EQ(lines[3], "Ping....FAILED") << "a link error is a failure, not a success";
    EXPECT_EQ(lines.back(), "Time to Process Frame: 0");
    EXPECT_TRUE(f.errors.shown.empty());
}

TEST_F(CameraTestsTest, PortThatCanNotOpenIsReportedOnceAndLeftClosed)
{
    f.com.failOpen = LinkError(LinkError::Cause::NoSuchDevice, "No such file or directory");
    tests.df_nomral_Click();
    EXPECT_EQ(
        f.status.lines(),
        Lines({ "Serial port error: No such file or directory", "Hint: wrong port, or the adapter is unplugged." }));
    EXPECT_EQ(f.errors.shown, Lines({ "No such file or directory\nHint: wrong port, or the adapter is unplugged." }));
    EXPECT_FALSE(f.com.open);
    EXPECT_TRUE(f.com.written.empty());
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Stopped);

    f.com.failOpen = LinkError(LinkError::Cause::Busy, "Device or resource busy");
    tests.df_nomral_Click();
    EXPECT_EQ(f.status.lines(),
              Lines({ "Serial port error: Device or resource busy", "Hint: another program is using the port." }));

    f.com.failOpen = LinkError(LinkError::Cause::PermissionDenied, "Permission denied", "/dev/ttyUSB0");
    f.advisor.advice = { "The diagnosis.", "Fix: the fix." };
    f.errors.shown.clear();
    tests.df_bin_Click(); // this test has reset its log already: the error is appended
    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting LineMode Test", "Serial port error: Permission denied",
                      "Hint: the user is probably not in the dialout group." }));
    EXPECT_EQ(f.errors.shown, Lines({ "Permission denied\nThe diagnosis.\nFix: the fix." }))
        << "the dialog gives the port doctor's diagnosis instead of the hint";
    EXPECT_EQ(f.advisor.asked, Lines({ "/dev/ttyUSB0" }));
}

// --- line mode -------------------------------------------------------------

TEST_F(CameraTestsTest, LineModeDrawsTheBitmap)
{
    f.time.nowMs = 1'000'100; // both readings round to the same second
    f.pic.setPixel(100, 100, kBlue); // an earlier test's picture
    f.com.answerNext("ACK\r:");
    f.com.answerNext("ACK\r:");
    f.com.answerNext(std::string("ACK\r\xAA\x80\xAA\xAA\r:", 9));
    std::vector<std::pair<std::size_t, int>> waits; // (commands written by then, ms)
    f.time.onSleep = [&](std::int64_t) { waits.emplace_back(f.com.written.size(), f.time.sleeps.back()); };

    tests.df_bin_Click();

    EXPECT_EQ(f.com.written, Lines({ "PM 1\r", "LM 1\r", "TW\r" }));
    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting LineMode Test", "Starting Timer", "Stopping Timer", "Total time to get frame: 0",
                      "Time to display frame: 0" }));
    // The camera's waits: 100 ms after opening the port, 50 ms before a
    // mode command's reply is read, 250 ms before "TW"'s; the reception
    // ends on a 75 ms pause.
    using Wait = std::pair<std::size_t, int>;
    ASSERT_GE(waits.size(), 5u);
    EXPECT_EQ(waits[0], Wait(0, 100));
    EXPECT_EQ(waits[1], Wait(1, 50));
    EXPECT_EQ(waits[2], Wait(2, 50));
    EXPECT_EQ(waits[3], Wait(3, 250));
    EXPECT_EQ(waits.back(), Wait(3, 75));
    EXPECT_EQ(f.status.windowRepaintsAfter,
              Lines({ "Starting LineMode Test", "Stopping Timer", "Total time to get frame: 0" }));
    EXPECT_EQ(f.events.calls, 0) << "the line-mode test serves no window events";
    EXPECT_EQ(f.pic.at(100, 100), RecordingSurface::kBackground) << "the earlier picture is wiped";
    EXPECT_EQ(f.pic.at(0, 0), kBlue);
    EXPECT_EQ(f.pic.at(0, 1), kBlue);
    EXPECT_EQ(f.pic.at(1, 0), kBlack);
    EXPECT_FALSE(f.com.open);
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Succeeded);
}

TEST_F(CameraTestsTest, LineModeStopsWhenAModeCommandIsRefused)
{
    f.com.answerNext("NCK\r:");
    tests.df_bin_Click();
    EXPECT_EQ(f.status.lines(), Lines({ "Starting LineMode Test", "Error, please retry" }));
    EXPECT_EQ(f.com.written, Lines({ "PM 1\r" })) << "no LM 1 after a refused PM 1";
    EXPECT_TRUE(f.pic.untouched());
    EXPECT_FALSE(f.com.open);
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);
}

TEST_F(CameraTestsTest, LineModeReplyWithoutAckDrawsNothing)
{
    f.time.nowMs = 1'000'100;
    f.com.answerNext("ACK\r:");
    f.com.answerNext("ACK\r:");
    f.com.answerNext("NCK\r:");
    tests.df_bin_Click();
    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting LineMode Test", "Starting Timer", "Stopping Timer", "Total time to get frame: 0" }));
    EXPECT_TRUE(f.pic.calls.empty());
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);

    // Acknowledged, but no bitmap start: the bitmap did not arrive.
    for (int i = 0; i < 3; ++i)
        f.com.answerNext("ACK\r:");
    tests.df_bin_Click();
    EXPECT_EQ(f.status.lines().back(), "Bitmap incomplete: the end markers did not arrive");
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);
}

TEST_F(CameraTestsTest, LineModeCaptureFromACameraThatNeverPausesStops)
{
    f.com.answerNext("ACK\r:");
    f.com.answerNext("ACK\r:");
    f.com.answerNext(std::string("ACK\r\xAA", 5));
    f.time.onSleep = [&](std::int64_t) {
        if (f.com.written.size() == 3)
            f.com.receive(std::string(1000, '\x0F'));
    };
    tests.df_bin_Click();
    const Lines lines = f.status.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Reception stopped: the camera did not pause");
    EXPECT_EQ(lines[3], "Stopping Timer");
    // The capture was cut at its limit, before the bitmap's end.
    EXPECT_EQ(lines[lines.size() - 2], "Time to display frame: 0");
    EXPECT_EQ(lines.back(), "Bitmap incomplete: the end markers did not arrive");
    EXPECT_FALSE(f.com.open);
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);
}

TEST_F(CameraTestsTest, LineModeLinkErrorEndsTheTestWithOneReport)
{
    f.com.answerNext("ACK\r:");
    f.com.answerNext("ACK\r:");
    f.time.onSleep = [&](std::int64_t) {
        if (f.com.written.size() == 3)
            f.com.failInput = LinkError(LinkError::Cause::ReadFailed, "Input/output error");
    };
    tests.df_bin_Click();
    const Lines lines = f.status.lines();
    EXPECT_EQ(lines.back(), "Serial port error: Input/output error");
    EXPECT_EQ(f.errors.shown.size(), 1u);
    EXPECT_FALSE(f.com.open);
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Stopped);
}

// --- driver library --------------------------------------------------------

TEST_F(CameraTestsTest, DriverDumpThatFailsIsStillDecodedAndTimed)
{
    f.driver.pingResult = 0;
    f.driver.dumpResult = 0;
    std::vector<Lines> callsAtSleeps;
    f.time.onSleep = [&](std::int64_t) { callsAtSleeps.push_back(f.driver.calls); };
    tests.df_dll_Click();
    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....FAILED...Trying DF anyway",
                      "Starting Timer & Dumping Frame....FAILED", "Total Ticks to Get Frame: 0",
                      "Total Ticks to Process Frame: 0" }));
    EXPECT_EQ(f.driver.calls, Lines({ "CAM_Init COM1", "CAM_Ping", "CAM_DumpFrame", "CAM_ClosePort" }));
    EXPECT_TRUE(f.pic.calls.empty());
    EXPECT_EQ(f.pic.clears, 0);
    EXPECT_TRUE(f.pic.pixelUnits);
    // It gives the port time to settle between CAM_Init and CAM_Ping, and sleeps nowhere else.
    EXPECT_GT(f.time.sleptMs, 0);
    for (const Lines &calls : callsAtSleeps)
        EXPECT_EQ(calls, Lines({ "CAM_Init COM1" }));
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);
}

TEST_F(CameraTestsTest, DriverFailureAddsTheLibrarysOwnWordsAndAHint)
{
    const Lines specified = { "Starting DLL Test (RGB)",           "Connecting to COM device",
                              "Ping....FAILED...Trying DF anyway", "Starting Timer & Dumping Frame....FAILED",
                              "Total Ticks to Get Frame: 0",       "Total Ticks to Process Frame: 0" };
    const struct {
        const char *text;
        const char *hint; // null: no hint line
    } cases[] = {
        { "/dev/ttyUSB0: the port is in use by another program", "Hint: another program is using the port." },
        { "/dev/ttyUSB0: Device or resource busy", "Hint: another program is using the port." },
        { "/dev/ttyUSB0: Permission denied", "Hint: the user is probably not in the dialout group." },
        { "/dev/ttyUSB0: No such file or directory", "Hint: wrong port, or the adapter is unplugged." },
        { "/dev/ttyUSB0: the camera did not answer the ping", nullptr },
    };
    for (const auto &c : cases) {
        f.driver.calls.clear();
        f.driver.initResult = 0;
        f.driver.pingResult = 0;
        f.driver.dumpResult = 0;
        f.driver.lastError = c.text;
        tests.df_dll_Click();
        Lines expected = specified;
        expected.push_back(std::string("Driver library: ") + c.text);
        if (c.hint)
            expected.push_back(c.hint);
        EXPECT_EQ(f.status.lines(), expected);
        // The port doctor's diagnosis of port 1, where it has one, takes the
        // hint's place.
        f.advisor.advice = { "The diagnosis.", "Fix: the fix." };
        tests.df_dll_Click();
        expected.resize(specified.size() + 1);
        if (c.hint)
            expected.insert(expected.end(), f.advisor.advice.begin(), f.advisor.advice.end());
        EXPECT_EQ(f.status.lines(), expected);
        f.advisor.advice.clear();
        f.driver.calls.clear();
        tests.df_dll_Click();
        EXPECT_TRUE(f.errors.shown.empty()) << "the library reported; nothing broke";
        // Asked once, right after the first failure, whose words are kept.
        EXPECT_EQ(f.driver.calls,
                  Lines({ "CAM_Init COM1", "CAM_LastError", "CAM_Ping", "CAM_DumpFrame", "CAM_ClosePort" }));
    }

    // A run that saw no failure does not ask, and "" adds nothing.
    f.driver.initResult = 1;
    f.driver.pingResult = 1;
    f.driver.dumpResult = 1;
    f.driver.dumpBytes = kTinyFrame;
    f.driver.calls.clear();
    tests.df_dll_Click();
    EXPECT_EQ(f.status.lines().back(), "Total Ticks to Process Frame: 0");
    EXPECT_EQ(f.driver.calls, Lines({ "CAM_Init COM1", "CAM_Ping", "CAM_DumpFrame", "CAM_ClosePort" }));
    f.driver.pingResult = 0;
    f.driver.lastError = "";
    tests.df_dll_Click();
    EXPECT_EQ(f.status.lines().back(), "Total Ticks to Process Frame: 0");
}

TEST_F(CameraTestsTest, DriverDumpBehindTheAcknowledgementIsDrawn)
{
    f.pic.setPixel(100, 100, kBlue); // an earlier test's picture
    f.driver.dumpBytes = kTinyFrame;
    f.driver.duringDump = [&] {
        EXPECT_EQ(f.status.text.substr(f.status.text.size() - 34), "Starting Timer & Dumping Frame....");
        EXPECT_GE(f.status.logRepaints, 3) << "the pending line is visible while the dump blocks";
        f.time.nowMs += 2990;
    };
    tests.df_dll_Click();
    const Lines lines = f.status.lines();
    EXPECT_EQ(lines[2], "Ping....OK");
    EXPECT_EQ(lines[3], "Starting Timer & Dumping Frame....OK");
    EXPECT_EQ(lines[4], "Image Dump CompleteTotal Ticks to Get Frame: 2990");
    EXPECT_EQ(f.pic.at(2, 0), MakeColor(10, 20, 30));
    EXPECT_EQ(f.pic.at(100, 100), RecordingSurface::kBackground) << "the earlier picture is wiped";
    EXPECT_EQ(f.events.calls, 0) << "the driver test serves no window events";
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Succeeded);

    // A dump that returned 1 but whose buffer holds no end marker failed.
    f.driver.dumpBytes = std::string("ACK\r\x01\x02\x0A\x14\x1E", 9);
    tests.df_dll_Click();
    EXPECT_EQ(f.status.lines()[4], "Total Ticks to Get Frame: 2990");
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);
}

TEST_F(CameraTestsTest, DriverFrameStartAtIndexZeroIsNotSeen)
{
    f.driver.dumpBytes = std::string("\x01\x02\x0A\x14\x1E\x03", 6);
    tests.df_dll_Click();
    EXPECT_TRUE(f.pic.calls.empty());
    EXPECT_EQ(f.pic.clears, 0);
}

TEST_F(CameraTestsTest, MissingDriverEntryIsReportedAndThePortClosed)
{
    f.driver.missingEntry = "CAM_DumpFrame";
    tests.df_dll_Click();
    const Lines lines = f.status.lines();
    EXPECT_EQ(lines[3], "Starting Timer & Dumping Frame....");
    EXPECT_EQ(lines.back(), "Driver library error: undefined symbol: CAM_DumpFrame");
    EXPECT_EQ(f.driver.calls.back(), "CAM_ClosePort");
    EXPECT_EQ(f.errors.shown, Lines({ "undefined symbol: CAM_DumpFrame" }));
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Stopped);

    f.driver.calls.clear();
    f.driver.missingEntry = "CAM_Init";
    tests.df_dll_Click();
    EXPECT_EQ(f.driver.calls, Lines({ "CAM_Init COM1" })) << "no CAM_ClosePort when the port was never opened";
}

} // namespace
