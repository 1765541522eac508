#include "camera_tests.h"

#include "common/frame_markers.h"
#include "common/port_device.h"
#include "decode/frame_dump_decoder.h"
#include "decode/line_mode_bitmap.h"
#include "driver/camera_driver.h"
#include "link/receive_until_pause.h"
#include "link/send_command.h"
#include "link/serial_link.h"
#include "platform/console_platform.h"
#include "platform/error_report.h"
#include "platform/picture_surface.h"
#include "platform/port_advisor.h"
#include "platform/status_log.h"
#include "platform/timing.h"
#include "port_hint.h"

#include <array>
#include <memory>
#include <vector>

namespace {

constexpr std::int16_t kModeCommandWaitMs = 50;
constexpr std::int16_t kPingWaitMs = 50;
constexpr std::int16_t kDumpWaitMs = 6000; // not used by the dump's own drain loop
constexpr int kLineModeRequestSettleMs = 250;
constexpr int kLineModeCycleMs = 75;
constexpr int kDriverInitSettleMs = 400;

// Holds the camera's port open for one direct test. Constructing it opens the
// port; close() closes it at the test's end and raises a failure to do so;
// leaving the scope any other way closes it quietly, since the error or the
// cancellation that ends the test is what gets reported. A failed open leaves
// the port closed too.
class CameraPortGuard {
public:
    explicit CameraPortGuard(SerialLink &com) : m_com(com)
    {
        try {
            m_com.setPortNumber(CameraTests::kCameraPort);
            m_com.setReceiveBufferSize(CameraTests::kReceiveBufferSize);
            m_com.setPortOpen(true);
        } catch (...) {
            closeQuietly();
            throw;
        }
    }
    ~CameraPortGuard()
    {
        if (!m_closed)
            closeQuietly();
    }
    CameraPortGuard(const CameraPortGuard &) = delete;
    CameraPortGuard &operator=(const CameraPortGuard &) = delete;

    void close()
    {
        m_com.setPortOpen(false);
        m_closed = true;
    }

private:
    void closeQuietly() noexcept
    {
        try {
            m_com.setPortOpen(false);
        } catch (const LinkError &) {
            // The failure being reported already says what went wrong.
        }
    }

    SerialLink &m_com;
    bool m_closed = false;
};

// Notes whether the buffer decoder drew a pixel since the last frame start
// (which clears the surface): an end marker met before any frame start ends
// the scan with nothing drawn.
class FrameDrawnObserver final : public WalkObserver {
public:
    void markerMet(std::size_t, unsigned char marker, bool) override
    {
        if (marker == kFrameStart)
            m_drawn = false;
    }
    void pixelDrawn(const WalkPixel &) override { m_drawn = true; }
    bool drawn() const { return m_drawn; }

private:
    bool m_drawn = false;
};

} // namespace

CameraTests::CameraTests(ConsolePlatform &platform) : m_platform(platform)
{
}

std::string CameraTests::SendCommand(const std::string &command, std::int16_t delay)
{
    auto &p = m_platform;
    return ::SendCommand({ p.com, p.sleeper, p.ticks, p.status, p.events }, command, delay);
}

void CameraTests::resetLog(const std::string &message)
{
    m_platform.status.reset(message);
    m_logReset = true;
}

// Runs the steps of a direct test with the camera's port open. The port is
// closed on every way out: at the end of the steps, on a port error and when
// the test is cancelled. The first port error (opening, during the steps or
// closing) ends the test and is reported once; anything else propagates.
void CameraTests::runOnCameraPort(const std::function<void()> &steps)
{
    try {
        CameraPortGuard port(m_platform.com);
        m_platform.sleeper.sleepMs(kOpenSettleMs);
        steps();
        port.close();
    } catch (const LinkError &error) {
        reportPortError(error); // the guard has closed the port by now
    }
}

// One report per failure: the component's text in the log and in one
// dialog. The test that met it ends; the console stays.
void CameraTests::reportPortError(const LinkError &error)
{
    m_outcome = TestOutcome::Stopped;
    const std::string line = std::string("Serial port error: ") + error.what();
    if (m_logReset)
        m_platform.status.appendLine(line);
    else
        resetLog(line);
    // A device that could not be opened: the dialog says what is wrong with
    // it and what to do, where the port doctor finds it (the port is closed
    // by now, so it sees the device as the next opener would); else it gives
    // the hint the log gives. A link lost while in use is reported as it is.
    std::string dialogText = error.what();
    const char *hint = PortErrorHint(error.cause());
    if (hint)
        m_platform.status.appendLine(hint);
    const bool lostInUse
        = error.cause() == LinkError::Cause::ReadFailed || error.cause() == LinkError::Cause::WriteFailed;
    const std::vector<std::string> advice = error.device().empty() || lostInUse
        ? std::vector<std::string>()
        : m_platform.advisor.adviceFor(error.device());
    for (const std::string &line : advice)
        dialogText += "\n" + line;
    if (advice.empty() && hint)
        dialogText += std::string("\n") + hint;
    m_platform.status.repaintLog();
    m_platform.errors.showError(dialogText);
}

void CameraTests::df_nomral_Click()
{
    auto &p = m_platform;
    m_logReset = false;
    m_outcome = TestOutcome::Failed;
    runOnCameraPort([&] {
        resetLog("Starting DF Test using direct connection (RGB)");
        p.status.appendLine("Opening Comport...");
        p.status.repaintLog();

        if (SendCommand("", kPingWaitMs) != kFailureMarker)
            p.status.appendLine("Ping....OK");
        else
            p.status.appendLine("Ping....FAILED");

        const std::string reply = SendCommand("DF", kDumpWaitMs);
        std::int64_t start = 0;
        std::int64_t end = 0;
        const bool accepted = reply != kFailureMarker;
        bool frameComplete = false;
        if (accepted) {
            start = p.ticks.ticksMs();
            p.status.appendLine("Dumping Frame...");
            p.pic.usePixelUnits();
            p.pic.clear();
            frameComplete = FrameComplete(DecodeFrameStream(reply, p.pic, p.events));
            end = p.ticks.ticksMs();
        } else {
            p.status.appendLine("Error Dumping Frame");
        }
        p.status.appendLine("Time to Process Frame: " + std::to_string(end - start));
        if (accepted && !frameComplete)
            p.status.appendLine("Frame incomplete: the end marker did not arrive");
        m_outcome = frameComplete ? TestOutcome::Succeeded : TestOutcome::Failed;
    });
}

void CameraTests::df_bin_Click()
{
    auto &p = m_platform;
    m_logReset = false;
    m_outcome = TestOutcome::Failed;
    resetLog("Starting LineMode Test");
    p.status.repaintWindow();
    runOnCameraPort([&] {
        for (const char *modeCommand : { "PM 1", "LM 1" }) {
            if (SendCommand(modeCommand, kModeCommandWaitMs) == kFailureMarker) {
                p.status.appendLine("Error, please retry");
                return;
            }
        }
        p.pic.clear();
        if (FrameComplete(LineModeFrame()))
            m_outcome = TestOutcome::Succeeded;
    });
}

// Asks for one line-mode bitmap with "TW", collects it until the camera
// pauses for 75 ms, logs the capture time and draws it, saying so when the
// bitmap's end did not arrive. Link errors are raised to the caller.
WalkEnd CameraTests::LineModeFrame()
{
    auto &p = m_platform;
    p.com.setOutput("TW\r");
    p.sleeper.sleepMs(kLineModeRequestSettleMs);
    p.status.appendLine("Starting Timer");
    const SecondsReading t0 = p.seconds.now();

    const PausedReception received = ReceiveUntilPause(p.com, p.sleeper, kLineModeCycleMs, kLineModeReceptionLimit);
    if (received.cameraNeverPaused)
        p.status.appendLine("Reception stopped: the camera did not pause");

    p.status.appendLine("Stopping Timer");
    const SecondsReading t1 = p.seconds.now();
    p.status.repaintWindow();
    p.status.appendLine("Total time to get frame: " + std::to_string(SecondsBetween(t0, t1)));
    p.status.repaintWindow();

    const WalkEnd walked = DrawLineModeBitmap(received.reply, p.pic, p.status, p.seconds);
    if (walked == WalkEnd::NoStart || walked == WalkEnd::CutShort)
        p.status.appendLine("Bitmap incomplete: the end markers did not arrive");
    return walked;
}

void CameraTests::df_dll_Click()
{
    auto &p = m_platform;
    m_logReset = false;
    m_outcome = TestOutcome::Failed;
    const auto frame = std::make_unique<std::array<std::uint8_t, kFrameBufferSize>>(); // zeroed

    resetLog("Starting DLL Test (RGB)");
    p.status.appendLine("Connecting to COM device");
    p.status.repaintLog();

    bool portInitialised = false;
    bool lineOpen = false; // "Starting Timer & Dumping Frame...." awaits its result
    // The library's own words for the first failure, where it has them: the
    // later failures of a run usually follow from the first.
    std::string libraryText;
    const auto noteFailure = [&] {
        if (libraryText.empty())
            libraryText = p.driver.CAM_LastError().value_or("");
    };
    try {
        if (p.driver.CAM_Init("COM1") != 1)
            noteFailure();
        portInitialised = true;
        p.sleeper.sleepMs(kDriverInitSettleMs);

        if (p.driver.CAM_Ping() == 1) {
            p.status.appendLine("Ping....OK");
        } else {
            noteFailure();
            p.status.appendLine("Ping....FAILED...Trying DF anyway");
        }
        p.status.repaintLog();

        p.status.appendText("Starting Timer & Dumping Frame....");
        lineOpen = true;
        p.status.repaintLog();
        const std::int64_t t0 = p.ticks.ticksMs();
        const std::int32_t dumped = p.driver.CAM_DumpFrame(frame->data());
        const std::int64_t t1 = p.ticks.ticksMs();
        if (dumped != 1)
            noteFailure();
        p.status.appendLine(dumped == 1 ? "OK" : "FAILED");
        lineOpen = false;
        p.status.repaintLog();

        p.pic.usePixelUnits();
        const std::int64_t t2 = p.ticks.ticksMs();
        FrameDrawnObserver drawn;
        const WalkEnd walked = DecodeFrameBuffer(*frame, p.pic, p.status, &drawn);
        const std::int64_t t3 = p.ticks.ticksMs();
        p.status.appendLine("Total Ticks to Get Frame: " + std::to_string(t1 - t0));
        p.status.appendLine("Total Ticks to Process Frame: " + std::to_string(t3 - t2));
        if (!libraryText.empty()) {
            p.status.appendLine("Driver library: " + libraryText);
            // A port the library could not use: what is wrong with port 1's
            // device and what to do, where the port doctor finds it, else
            // the hint for the library's words. The library reports without
            // a dialog, so the log says it.
            if (const char *hint = DriverErrorHint(libraryText)) {
                const std::vector<std::string> advice = p.advisor.adviceFor(PortDevicePath(kCameraPort));
                for (const std::string &line : advice)
                    p.status.appendLine(line);
                if (advice.empty())
                    p.status.appendLine(hint);
            }
        }
        m_outcome = dumped == 1 && walked == WalkEnd::EndMarker && drawn.drawn() ? TestOutcome::Succeeded
                                                                                 : TestOutcome::Failed;

        p.driver.CAM_ClosePort();
    } catch (const DriverError &error) {
        m_outcome = TestOutcome::Stopped;
        if (lineOpen)
            p.status.appendLine(""); // the error gets a line of its own
        p.status.appendLine(std::string("Driver library error: ") + error.what());
        p.status.repaintLog();
        if (portInitialised) {
            try {
                p.driver.CAM_ClosePort();
            } catch (const DriverError &) {
                // Already reported: the library lacks what the console needs.
            }
        }
        p.errors.showError(error.what());
    }
}
