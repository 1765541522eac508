// Each of the window's three tests against a simulated camera that misbehaves
// in one way per case: the click must return, log exactly what the console
// says for that outcome, show at most one dialog, leave the port closed, and
// the next click against the then healthy camera must work.
#include "console/form1.h"

#include "console/wrapping_button.h"
#include "support/window_on_camsim.h"
#include "support/window_on_fakes.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

enum class Button { Direct, LineMode, Driver };

// One cell of the matrix. In the expected lines, a trailing '#' stands for a
// timing number and a trailing '*' for any rest of the line.
struct Cell {
    const char *name;
    Button button;
    Lines faults; // camsim --fault rules, each applied to the first matching command only
    Lines expected;
    std::size_t dialogs = 0;
    bool hangup = false;
    bool wirePace = false; // without --fast
    // The reply pauses 300 ms with its first half sent at once; the line-mode
    // test reads at 250 ms and ends at the first 75 ms cycle that brings
    // nothing (325 ms). Whether the pause ends before that check is a race
    // of 25 ms, lost whenever the machine is slow to run camsim (too short a
    // delay for camsim to report): the bitmap, whole or cut, is right either
    // way, and the next click must work.
    bool wholeOrCut = false;
};

void PrintTo(const Cell &cell, std::ostream *out)
{
    *out << cell.name;
}

// The direct dump when "DF" is not acknowledged.
const Lines kDirectDumpRefused = { "Starting DF Test using direct connection (RGB)",
                                   "Opening Comport...",
                                   "Ping....OK",
                                   "Sending Command & Starting Frame Dump Timer...",
                                   "Total Time To Get Frame:#",
                                   "Error Dumping Frame",
                                   "Time to Process Frame: 0" };
const Lines kDirectPingFailed = { "Starting DF Test using direct connection (RGB)",
                                  "Opening Comport...",
                                  "Ping....FAILED",
                                  "Sending Command & Starting Frame Dump Timer...",
                                  "Total Time To Get Frame:#",
                                  "Dumping Frame...",
                                  "Time to Process Frame: #" };
// What arrived is drawn, and the log says that the frame or bitmap is cut.
Lines Incomplete(Lines lines)
{
    lines.push_back(lines.front() == "Starting LineMode Test" ? "Bitmap incomplete: the end markers did not arrive"
                                                              : "Frame incomplete: the end marker did not arrive");
    return lines;
}
// After a failure in the driver library, its own words (naming camsim's
// device, which differs from run to run) follow the specified lines.
Lines WithLibraryText(Lines lines)
{
    lines.push_back("Driver library: *");
    return lines;
}

// A line-mode reply with no "ACK" in it is not drawn and logs no drawing time.
const Lines kLineModeNoAck
    = { "Starting LineMode Test", "Starting Timer", "Stopping Timer", "Total time to get frame: #" };
const Lines kLineModeRetry = { "Starting LineMode Test", "Error, please retry" };
// The library's dump failed and the buffer holds no complete frame.
const Lines kDriverDumpFailed = { "Starting DLL Test (RGB)",
                                  "Connecting to COM device",
                                  "Ping....OK",
                                  "Starting Timer & Dumping Frame....FAILED",
                                  "Total Ticks to Get Frame: #",
                                  "Total Ticks to Process Frame: #" };

const Cell kCells[] = {
    // Direct dump, faults on "DF".
    { "Direct_DF_silent", Button::Direct, { "DF=silent" }, kDirectDumpRefused },
    { "Direct_DF_nck", Button::Direct, { "DF=nck" }, kDirectDumpRefused },
    { "Direct_DF_lateAck", Button::Direct, { "DF=late-ack" }, kDirectDumpRefused },
    { "Direct_DF_garbage", Button::Direct, { "DF=garbage" }, kDirectDumpRefused },
    // The reception ends at the pause; what arrived so far is drawn.
    { "Direct_DF_pause", Button::Direct, { "DF=pause" }, Incomplete(kDirectDumpLog) },
    { "Direct_DF_hangup",
      Button::Direct,
      { "DF=hangup" },
      { "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....OK",
        "Sending Command & Starting Frame Dump Timer...", "COMPort Error Getting Frame", "Error Dumping Frame",
        "Time to Process Frame: 0" },
      0,
      true },
    { "Direct_DF_endless",
      Button::Direct,
      { "DF=endless" },
      Incomplete({ "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....OK",
                   "Sending Command & Starting Frame Dump Timer...", "Reception stopped: the camera did not pause",
                   "Total Time To Get Frame:#", "Dumping Frame...", "Time to Process Frame: #" }) },
    { "Direct_DF_short", Button::Direct, { "DF=short" }, Incomplete(kDirectDumpLog) },
    { "Direct_DF_long", Button::Direct, { "DF=long" }, kDirectDumpLog },
    { "Direct_DF_awkward", Button::Direct, { "DF=awkward" }, kDirectDumpLog },
    { "Direct_DF_pauseAtWirePace", Button::Direct, { "DF=pause" }, Incomplete(kDirectDumpLog), 0, false, true },
    // Direct dump, faults on the ping: logged, and the dump goes on.
    { "Direct_PING_silent", Button::Direct, { "PING=silent" }, kDirectPingFailed },
    { "Direct_PING_nck", Button::Direct, { "PING=nck" }, kDirectPingFailed },
    { "Direct_PING_lateAck", Button::Direct, { "PING=late-ack" }, kDirectPingFailed },
    { "Direct_PING_garbage", Button::Direct, { "PING=garbage" }, kDirectPingFailed },
    // Unplugged in the middle of the ping's reply: the ping read gets a part
    // of "ACK" and fails; the link error surfaces in the dump, which says so,
    // and the test goes on to its end.
    { "Direct_PING_hangup",
      Button::Direct,
      { "PING=hangup" },
      { "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....FAILED",
        "Sending Command & Starting Frame Dump Timer...", "COMPort Error Getting Frame", "Error Dumping Frame",
        "Time to Process Frame: 0" },
      0,
      true },
    // Line mode, faults on "TW".
    { "LineMode_TW_silent", Button::LineMode, { "TW=silent" }, kLineModeNoAck },
    { "LineMode_TW_nck", Button::LineMode, { "TW=nck" }, kLineModeNoAck },
    // The bitmap walk looks for "ACK" anywhere in the reply.
    { "LineMode_TW_lateAck", Button::LineMode, { "TW=late-ack" }, kLineModeLog },
    { "LineMode_TW_garbage", Button::LineMode, { "TW=garbage" }, kLineModeLog },
    { "LineMode_TW_pause", Button::LineMode, { "TW=pause" }, kLineModeLog, 0, false, false, true },
    { "LineMode_TW_hangup",
      Button::LineMode,
      { "TW=hangup" },
      { "Starting LineMode Test", "Starting Timer", "Serial port error: *" },
      1,
      true },
    { "LineMode_TW_endless",
      Button::LineMode,
      { "TW=endless" },
      Incomplete({ "Starting LineMode Test", "Starting Timer", "Reception stopped: the camera did not pause",
                   "Stopping Timer", "Total time to get frame: #", "Time to display frame: #" }) },
    { "LineMode_TW_short", Button::LineMode, { "TW=short" }, Incomplete(kLineModeLog) },
    { "LineMode_TW_long", Button::LineMode, { "TW=long" }, kLineModeLog },
    { "LineMode_TW_awkward", Button::LineMode, { "TW=awkward" }, kLineModeLog },
    // Line mode, faults on the mode commands.
    { "LineMode_PM_silent", Button::LineMode, { "PM=silent" }, kLineModeRetry },
    { "LineMode_PM_nck", Button::LineMode, { "PM=nck" }, kLineModeRetry },
    { "LineMode_LM_lateAck", Button::LineMode, { "LM=late-ack" }, kLineModeRetry },
    { "LineMode_LM_garbage", Button::LineMode, { "LM=garbage" }, kLineModeRetry },
    { "LineMode_LM_silent", Button::LineMode, { "LM=silent" }, kLineModeRetry },
    // "ACK" alone is an acknowledgement.
    { "LineMode_PM_short", Button::LineMode, { "PM=short" }, kLineModeLog },
    // Unplugged in the middle of "ACK": the part that arrived is no
    // acknowledgement, and the test ends before it touches the dead link again.
    { "LineMode_PM_hangup", Button::LineMode, { "PM=hangup" }, kLineModeRetry, 0, true },

    // Driver library, faults on "DF".
    { "Driver_DF_silent", Button::Driver, { "DF=silent" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_nck", Button::Driver, { "DF=nck" }, WithLibraryText(kDriverDumpFailed) },
    // The library follows the stream's markers, whatever comes before them.
    { "Driver_DF_lateAck", Button::Driver, { "DF=late-ack" }, kDriverDumpLog },
    // The library keeps the bytes before the frame start, so five more of them
    // push the end marker past index 34407, the last the console decodes: the
    // frame is drawn but "Image Dump Complete" is not logged.
    { "Driver_DF_garbage",
      Button::Driver,
      { "DF=garbage" },
      { "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....OK", "Starting Timer & Dumping Frame....OK",
        "Total Ticks to Get Frame: #", "Total Ticks to Process Frame: #" } },
    { "Driver_DF_pause", Button::Driver, { "DF=pause" }, kDriverDumpLog },
    { "Driver_DF_hangup", Button::Driver, { "DF=hangup" }, WithLibraryText(kDriverDumpFailed), 0, true },
    { "Driver_DF_endless", Button::Driver, { "DF=endless" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_short", Button::Driver, { "DF=short" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_long", Button::Driver, { "DF=long" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_awkward", Button::Driver, { "DF=awkward" }, kDriverDumpLog },
    // Driver library, faults on the ping.
    { "Driver_PING_silent",
      Button::Driver,
      { "PING=silent" },
      WithLibraryText({ "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....FAILED...Trying DF anyway",
                        "Starting Timer & Dumping Frame....OK", "Image Dump CompleteTotal Ticks to Get Frame: #",
                        "Total Ticks to Process Frame: #" }) },
    { "Driver_PING_hangup",
      Button::Driver,
      { "PING=hangup" },
      WithLibraryText({ "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....FAILED...Trying DF anyway",
                        "Starting Timer & Dumping Frame....FAILED", "Total Ticks to Get Frame: #",
                        "Total Ticks to Process Frame: #" }),
      0,
      true },
};

// Read system calls this process has made so far (all its threads, the
// driver library included). Whatever spins on a dead device reads it over
// and over, so this count shows a busy loop however fast the machine is.
std::optional<std::uint64_t> ReadCalls()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "syscr:")
            return value;
    return std::nullopt;
}

// Bounds on the read calls of a hung-up click and of the idle window after
// it. Such a click reads a few dozen times (a few reads for each sleep cycle
// and each piece of the reply), the idle window next to never; a loop that
// spins on the dead device reads it thousands of times in a few
// milliseconds.
constexpr std::uint64_t kMaxClickReads = 500;
constexpr std::uint64_t kMaxIdleReads = 50;

// Runs the window's event loop (idle, not spinning) for a while.
void IdleEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::vector<std::string> CamsimArgs(const Cell &cell)
{
    std::vector<std::string> args;
    if (!cell.wirePace)
        args.push_back("--fast");
    for (const auto &rule : cell.faults) {
        args.push_back("--fault");
        args.push_back(rule);
    }
    args.push_back("--fault-times");
    args.push_back("1");
    return args;
}

WrappingButton *ButtonOf(Form1 &form, Button button)
{
    switch (button) {
    case Button::Direct:
        return form.df_nomral;
    case Button::LineMode:
        return form.df_bin;
    case Button::Driver:
        return form.df_dll;
    }
    return nullptr;
}

const Lines &HealthyLog(Button button)
{
    switch (button) {
    case Button::Direct:
        return kDirectDumpLog;
    case Button::LineMode:
        return kLineModeLog;
    case Button::Driver:
        break;
    }
    return kDriverDumpLog;
}

class FaultMatrixTest : public ::testing::TestWithParam<Cell> {};

TEST_P(FaultMatrixTest, ClickEndsCleanlyAndTheNextOneWorks)
{
    const Cell &cell = GetParam();
    WindowOnCamsim w(CamsimArgs(cell));
    Form1 &form = *w.form;
    WrappingButton *button = ButtonOf(form, cell.button);
    QCoreApplication::processEvents(); // the window's first paint is not the test's

    const auto readsBefore = ReadCalls();
    ASSERT_TRUE(readsBefore) << "/proc/self/io is needed to count read calls";
    button->click();
    const std::uint64_t clickReads = *ReadCalls() - *readsBefore;

    const Lines log = LogLines(form);
    if (cell.wholeOrCut && Masked(log, Incomplete(cell.expected)) == Incomplete(cell.expected))
        SUCCEED() << "the bitmap was cut at the pause";
    else
        EXPECT_EQ(Masked(log, cell.expected), cell.expected);
    EXPECT_EQ(w.errors.shown.size(), cell.dialogs);
    if (!w.errors.shown.empty() && !log.empty()) {
        EXPECT_FALSE(w.errors.shown.front().empty());
        EXPECT_EQ(log.back(), "Serial port error: " + w.errors.shown.front()) << "the dialog and the log agree";
    }
    EXPECT_FALSE(form.Com().portOpen());
    EXPECT_FALSE(form.session().running());

    if (cell.hangup) {
        // A pulled cable must not leave the console busy: the click does not
        // spin on the dead device, and neither does the idle window after it.
        EXPECT_LT(clickReads, kMaxClickReads) << "read calls in the click";
        const std::uint64_t idleBefore = *ReadCalls();
        IdleEvents(300);
        EXPECT_LT(*ReadCalls() - idleBefore, kMaxIdleReads) << "read calls while idle after the hang-up";
        EXPECT_EQ(LogLines(form), log) << "nothing more is logged after the test ended";
        EXPECT_EQ(w.errors.shown.size(), cell.dialogs);
        // camsim re-points the link at a fresh pty: the camera is plugged in again.
        EXPECT_FALSE(w.camera.nextDevicePath().empty()) << w.camera.stderrText();
    }

    // The fault applied once; the same button now meets a healthy camera.
    w.errors.shown.clear();
    button->click();
    const Lines &healthy = HealthyLog(cell.button);
    EXPECT_EQ(Masked(LogLines(form), healthy), healthy)
        << "the click after the fault; camsim had received " << ::testing::PrintToString(w.camera.receivedCommands())
        << " and said:\n"
        << w.camera.stderrText();
    EXPECT_TRUE(w.errors.shown.empty());
    EXPECT_FALSE(form.Com().portOpen());
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrixTest, ::testing::ValuesIn(kCells),
                         [](const ::testing::TestParamInfo<Cell> &info) { return std::string(info.param.name); });

} // namespace
