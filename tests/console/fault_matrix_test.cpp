// Each of the window's three tests against a simulated camera that misbehaves
// in one way per case: the click must return, log exactly what the console
// says for that outcome, show at most one dialog, leave the port closed, and
// the next click against the then healthy camera must work.
#include "console/form1.h"

#include "console/status_box.h"
#include "console/wrapping_button.h"
#include "support/camsim_process.h"
#include "support/qt_app.h"
#include "support/window_on_fakes.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

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
};

void PrintTo(const Cell &cell, std::ostream *out)
{
    *out << cell.name;
}

// What each button logs against a healthy camera.
const Lines kDirectOk = { "Starting DF Test using direct connection (RGB)",
                          "Opening Comport...",
                          "Ping....OK",
                          "Sending Command & Starting Frame Dump Timer...",
                          "Total Time To Get Frame:#",
                          "Dumping Frame...",
                          "Time to Process Frame: #" };
const Lines kLineModeOk = { "Starting LineMode Test", "Starting Timer", "Stopping Timer", "Total time to get frame: #",
                            "Time to display frame: #" };
const Lines kDriverOk = { "Starting DLL Test (RGB)",
                          "Connecting to COM device",
                          "Ping....OK",
                          "Starting Timer & Dumping Frame....OK",
                          "Image Dump CompleteTotal Ticks to Get Frame: #",
                          "Total Ticks to Process Frame: #" };

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
    { "Direct_DF_pause", Button::Direct, { "DF=pause" }, Incomplete(kDirectOk) },
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
    { "Direct_DF_short", Button::Direct, { "DF=short" }, Incomplete(kDirectOk) },
    { "Direct_DF_long", Button::Direct, { "DF=long" }, kDirectOk },
    { "Direct_DF_awkward", Button::Direct, { "DF=awkward" }, kDirectOk },
    { "Direct_DF_pauseAtWirePace", Button::Direct, { "DF=pause" }, Incomplete(kDirectOk), 0, false, true },
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
    { "LineMode_TW_lateAck", Button::LineMode, { "TW=late-ack" }, kLineModeOk },
    { "LineMode_TW_garbage", Button::LineMode, { "TW=garbage" }, kLineModeOk },
    { "LineMode_TW_pause", Button::LineMode, { "TW=pause" }, kLineModeOk },
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
    { "LineMode_TW_short", Button::LineMode, { "TW=short" }, Incomplete(kLineModeOk) },
    { "LineMode_TW_long", Button::LineMode, { "TW=long" }, kLineModeOk },
    { "LineMode_TW_awkward", Button::LineMode, { "TW=awkward" }, kLineModeOk },
    // Line mode, faults on the mode commands.
    { "LineMode_PM_silent", Button::LineMode, { "PM=silent" }, kLineModeRetry },
    { "LineMode_PM_nck", Button::LineMode, { "PM=nck" }, kLineModeRetry },
    { "LineMode_LM_lateAck", Button::LineMode, { "LM=late-ack" }, kLineModeRetry },
    { "LineMode_LM_garbage", Button::LineMode, { "LM=garbage" }, kLineModeRetry },
    { "LineMode_LM_silent", Button::LineMode, { "LM=silent" }, kLineModeRetry },
    // "ACK" alone is an acknowledgement.
    { "LineMode_PM_short", Button::LineMode, { "PM=short" }, kLineModeOk },
    // Unplugged in the middle of "ACK": the part that arrived is no
    // acknowledgement, and the test ends before it touches the dead link again.
    { "LineMode_PM_hangup", Button::LineMode, { "PM=hangup" }, kLineModeRetry, 0, true },

    // Driver library, faults on "DF".
    { "Driver_DF_silent", Button::Driver, { "DF=silent" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_nck", Button::Driver, { "DF=nck" }, WithLibraryText(kDriverDumpFailed) },
    // The library follows the stream's markers, whatever comes before them.
    { "Driver_DF_lateAck", Button::Driver, { "DF=late-ack" }, kDriverOk },
    // The library keeps the bytes before the frame start, so five more of them
    // push the end marker past index 34407, the last the console decodes: the
    // frame is drawn but "Image Dump Complete" is not logged.
    { "Driver_DF_garbage",
      Button::Driver,
      { "DF=garbage" },
      { "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....OK", "Starting Timer & Dumping Frame....OK",
        "Total Ticks to Get Frame: #", "Total Ticks to Process Frame: #" } },
    { "Driver_DF_pause", Button::Driver, { "DF=pause" }, kDriverOk },
    { "Driver_DF_hangup", Button::Driver, { "DF=hangup" }, WithLibraryText(kDriverDumpFailed), 0, true },
    { "Driver_DF_endless", Button::Driver, { "DF=endless" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_short", Button::Driver, { "DF=short" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_long", Button::Driver, { "DF=long" }, WithLibraryText(kDriverDumpFailed) },
    { "Driver_DF_awkward", Button::Driver, { "DF=awkward" }, kDriverOk },
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

// Brings the actual lines to the form of the expected ones: a timing number
// becomes '#', the rest after a '*' is dropped.
Lines Masked(const Lines &actual, const Lines &expected)
{
    Lines result;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        std::string line = actual[i];
        const std::string want = i < expected.size() ? expected[i] : std::string();
        if (!want.empty() && want.back() == '#') {
            const auto end = line.find_last_not_of("0123456789");
            if (end != std::string::npos && end + 1 < line.size())
                line = line.substr(0, end + 1) + "#";
        } else if (!want.empty() && want.back() == '*') {
            const std::string prefix = want.substr(0, want.size() - 1);
            if (line.size() > prefix.size() && line.compare(0, prefix.size(), prefix) == 0)
                line = want;
        }
        result.push_back(line);
    }
    return result;
}

double CpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs the window's event loop (idle, not spinning) for a while.
void IdleEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class FaultMatrixTest : public ::testing::TestWithParam<Cell> {
protected:
    void SetUp() override { EnsureQtApp(); }
    void TearDown() override
    {
        unsetenv("CAMCONSOLE_PORT1");
        unsetenv("CAMCONSOLE_DRIVER");
    }

    static std::vector<std::string> CamsimArgs(const Cell &cell)
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

    static WrappingButton *ButtonOf(Form1 &form, Button button)
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

    // Clicks and returns the wall seconds the click took; checks that the
    // click returned within a bound far above any normal run.
    static double ClickWithinBound(WrappingButton *button)
    {
        const auto start = std::chrono::steady_clock::now();
        button->click();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed.count(), 60.0) << "the click did not come back";
        return elapsed.count();
    }

    FakeErrorReporter errors;
};

TEST_P(FaultMatrixTest, ClickEndsCleanlyAndTheNextOneWorks)
{
    const Cell &cell = GetParam();
    CamsimProcess camera(CamsimArgs(cell));
    setenv("CAMCONSOLE_PORT1", camera.linkPath().c_str(), 1);
    setenv("CAMCONSOLE_DRIVER", TARQIS_LIBRARY, 1);
    Form1 form;
    form.setErrorReporter(&errors);
    form.show();
    WrappingButton *button = ButtonOf(form, cell.button);

    const double cpuBefore = CpuSeconds();
    const double wall = ClickWithinBound(button);
    const double cpu = CpuSeconds() - cpuBefore;

    const Lines log = LogLines(form);
    EXPECT_EQ(Masked(log, cell.expected), cell.expected);
    EXPECT_EQ(errors.shown.size(), cell.dialogs);
    if (!errors.shown.empty() && !log.empty()) {
        EXPECT_FALSE(errors.shown.front().empty());
        EXPECT_EQ(log.back(), "Serial port error: " + errors.shown.front()) << "the dialog and the log agree";
    }
    EXPECT_FALSE(form.Com().portOpen());
    EXPECT_FALSE(form.session().running());

    if (cell.hangup) {
        // A pulled cable must not leave the console busy: the click does not
        // spin on the dead device, and neither does the idle window after it.
        EXPECT_LT(cpu, 0.5 * wall + 0.25) << "CPU " << cpu << " s in a click of " << wall << " s";
        const double idleCpuBefore = CpuSeconds();
        IdleEvents(300);
        EXPECT_LT(CpuSeconds() - idleCpuBefore, 0.15) << "busy while idle after the hang-up";
        EXPECT_EQ(LogLines(form), log) << "nothing more is logged after the test ended";
        EXPECT_EQ(errors.shown.size(), cell.dialogs);
        // camsim re-points the link at a fresh pty: the camera is plugged in again.
        EXPECT_FALSE(camera.nextDevicePath().empty()) << camera.stderrText();
    }

    // The fault applied once; the same button now meets a healthy camera.
    errors.shown.clear();
    ClickWithinBound(button);
    const Lines &healthy = cell.button == Button::Direct ? kDirectOk
        : cell.button == Button::LineMode                ? kLineModeOk
                                                         : kDriverOk;
    EXPECT_EQ(Masked(LogLines(form), healthy), healthy) << "the click after the fault";
    EXPECT_TRUE(errors.shown.empty());
    EXPECT_FALSE(form.Com().portOpen());
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrixTest, ::testing::ValuesIn(kCells),
                         [](const ::testing::TestParamInfo<Cell> &info) { return std::string(info.param.name); });

} // namespace
