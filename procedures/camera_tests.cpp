#include "camera_tests.h"

#include "common/port_device.h"
#include "decode/frame_dump_decoder.h"
#include "decode/line_mode_bitmap.h"
#include "decode/reply_walk.h"
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
constexpr std::int16_t kDumpWaitMs = 6000; // handed on, though the dump's drain loop waits by its pauses
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

} // namespace

CameraTests::CameraTests(ConsolePlatform &platform, RunAccount *account)
    : m_platform(platform), m_account(account ? account : &m_ownAccount)
{
}

void CameraTests::begin(TestKind test)
{
    *m_account = RunAccount {};
    m_account->test = test;
    m_logReset = false;
    m_outcome = TestOutcome::Failed;
}

CommandExchange CameraTests::exchange(const std::string &command, std::int16_t delay)
{
    auto &p = m_platform;
    CommandExchange exchanged = ExchangeCommand({ p.com, p.sleeper, p.ticks, p.status, p.events }, command, delay);
    if (exchanged.sent)
        m_account->commands.push_back(
            { command, exchanged.sentAtMs, exchanged.reception.reply.size(), exchanged.acknowledged });
    if (exchanged.linkError)
        m_account->noteLinkError(exchanged.linkError->cause, exchanged.linkError->text);
    return exchanged;
}

std::string CameraTests::SendCommand(const std::string &command, std::int16_t delay)
{
    CommandExchange exchanged = exchange(command, delay);
    if (!exchanged.acknowledged)
        return kFailureMarker;
    return std::move(exchanged.reception.reply);
}

// Logs a timing as its label (the name and its separator) and number, and
// keeps it in the account.
void CameraTests::logTiming(const std::string &name, const char *separator, std::int64_t logged, std::int64_t ms,
                            std::string_view unit)
{
    m_platform.status.appendLine(name + separator + std::to_string(logged));
    m_account->timings.push_back({ name, ms, logged, unit });
}

// A reply that a link error cut is not drawn; what its decoder makes of it
// is recorded all the same, to show what came.
void CameraTests::walkUndrawnReply()
{
    RunAccount &a = *m_account;
    if (WalksUndrawnReply(a))
        a.walk.emplace(DecoderOf(a.test), a.reply);
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
        m_account->portOpened = true;
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
    m_account->noteLinkError(error.cause(), error.what());
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

namespace {

// How a direct or line-mode run that did not get its frame ended: the link's
// failure, else the reply of the command that ended it.
RunEnd FailedOnTheLink(const RunAccount &a)
{
    return a.linkFault->afterOpen ? RunEnd::LinkLost : RunEnd::PortUnusable;
}

RunEnd UnansweredOrRefused(RunAccount &a, const CommandExchange &exchanged)
{
    a.failedCommand = exchanged.command;
    return exchanged.reception.reply.empty() ? RunEnd::NotAnswered : RunEnd::NotAcknowledged;
}

} // namespace

void CameraTests::df_nomral_Click()
{
    auto &p = m_platform;
    auto &a = *m_account;
    begin(TestKind::Direct);
    bool frameComplete = false;
    std::optional<CommandExchange> dump;
    runOnCameraPort([&] {
        resetLog("Starting DF Test using direct connection (RGB)");
        p.status.appendLine("Opening Comport...");
        p.status.repaintLog();

        a.pingAnswered = exchange("", kPingWaitMs).acknowledged;
        p.status.appendLine(*a.pingAnswered ? "Ping....OK" : "Ping....FAILED");

        dump = exchange("DF", kDumpWaitMs);
        if (dump->sent) {
            a.requested = true;
            a.requestedAtMs = dump->sentAtMs;
            a.noteReception(dump->reception);
            if (!dump->linkError)
                a.timings.push_back({ "Total Time To Get Frame", dump->receptionMs, dump->receptionMs, "ms" });
        }
        std::int64_t start = 0;
        std::int64_t end = 0;
        if (dump->acknowledged) {
            WalkRecorder walk(ReplyDecoder::FrameStream, dump->reception.reply);
            start = p.ticks.ticksMs();
            p.status.appendLine("Dumping Frame...");
            p.pic.usePixelUnits();
            p.pic.clear();
            a.decoded = true;
            a.noteWalk(DecodeFrameStream(dump->reception.reply, p.pic, p.events, &walk), walk);
            frameComplete = FrameComplete(*a.walkEnd);
            end = p.ticks.ticksMs();
        } else {
            p.status.appendLine("Error Dumping Frame");
        }
        logTiming("Time to Process Frame", ": ", end - start, end - start);
        if (dump->acknowledged && !frameComplete)
            p.status.appendLine("Frame incomplete: the end marker did not arrive");
        m_outcome = frameComplete ? TestOutcome::Succeeded : TestOutcome::Failed;
    });
    if (frameComplete)
        a.end = RunEnd::Complete;
    else if (a.linkFault)
        a.end = FailedOnTheLink(a);
    else if (!a.decoded)
        a.end = dump ? UnansweredOrRefused(a, *dump) : RunEnd::NotAnswered;
    else
        a.end = a.receptionEnd == ReceptionEnd::SizeLimit ? RunEnd::NeverPaused : RunEnd::Incomplete;
    walkUndrawnReply();
}

void CameraTests::df_bin_Click()
{
    auto &p = m_platform;
    auto &a = *m_account;
    begin(TestKind::LineMode);
    resetLog("Starting LineMode Test");
    p.status.repaintWindow();
    std::optional<CommandExchange> refused;
    WalkEnd walked = WalkEnd::NoReply;
    runOnCameraPort([&] {
        for (const char *modeCommand : { "PM 1", "LM 1" }) {
            CommandExchange exchanged = exchange(modeCommand, kModeCommandWaitMs);
            if (!exchanged.acknowledged) {
                refused = std::move(exchanged);
                p.status.appendLine("Error, please retry");
                return;
            }
        }
        p.pic.clear();
        walked = LineModeFrame();
        if (FrameComplete(walked))
            m_outcome = TestOutcome::Succeeded;
    });
    if (m_outcome == TestOutcome::Succeeded)
        a.end = RunEnd::Complete;
    else if (a.linkFault)
        a.end = FailedOnTheLink(a);
    else if (refused)
        a.end = UnansweredOrRefused(a, *refused);
    else if (walked == WalkEnd::NoReply) { // the walk found no "ACK" in the reply
        a.failedCommand = "TW";
        a.end = a.reply.empty() ? RunEnd::NotAnswered : RunEnd::NotAcknowledged;
    } else
        a.end = a.receptionEnd == ReceptionEnd::SizeLimit ? RunEnd::NeverPaused : RunEnd::Incomplete;
    walkUndrawnReply();
}

// Asks for one line-mode bitmap with "TW", collects it until the camera
// pauses for 75 ms, logs the capture time and draws it, saying so when the
// bitmap's end did not arrive. Link errors are raised to the caller.
WalkEnd CameraTests::LineModeFrame()
{
    auto &p = m_platform;
    auto &a = *m_account;
    const std::int64_t sentAt = p.ticks.ticksMs();
    p.com.setOutput("TW\r");
    a.requested = true;
    a.requestedAtMs = sentAt;
    p.sleeper.sleepMs(kLineModeRequestSettleMs);
    p.status.appendLine("Starting Timer");
    const SecondsReading t0 = p.seconds.now();
    const std::int64_t ms0 = p.ticks.ticksMs();

    PausedReception received;
    received.waitedBeforeFirstReadMs = kLineModeRequestSettleMs;
    try {
        ReceiveUntilPause(p.com, p.sleeper, p.ticks, sentAt, kLineModeCycleMs, kLineModeReceptionLimit, received);
    } catch (const LinkError &) {
        a.noteReception(received);
        a.commands.push_back({ "TW", sentAt, received.reply.size(), false });
        throw;
    }
    a.noteReception(received);
    if (received.end == ReceptionEnd::SizeLimit)
        p.status.appendLine("Reception stopped: the camera did not pause");

    p.status.appendLine("Stopping Timer");
    const SecondsReading t1 = p.seconds.now();
    const std::int64_t ms1 = p.ticks.ticksMs();
    p.status.repaintWindow();
    logTiming("Total time to get frame", ": ", SecondsBetween(t0, t1), ms1 - ms0, "s");
    p.status.repaintWindow();

    a.decoded = true;
    WalkRecorder walk(ReplyDecoder::LineMode, received.reply);
    std::int64_t displaySeconds = 0;
    const std::int64_t ms2 = p.ticks.ticksMs();
    const WalkEnd walked = DrawLineModeBitmap(received.reply, p.pic, p.status, p.seconds, &walk, &displaySeconds);
    const std::int64_t ms3 = p.ticks.ticksMs();
    a.noteWalk(walked, walk);
    // The walk looks for the "ACK" anywhere in the reply.
    a.commands.push_back({ "TW", sentAt, received.reply.size(), walked != WalkEnd::NoReply });
    if (walked != WalkEnd::NoReply)
        a.timings.push_back({ "Time to display frame", ms3 - ms2, displaySeconds, "s" });
    if (walked == WalkEnd::NoStart || walked == WalkEnd::CutShort)
        p.status.appendLine("Bitmap incomplete: the end markers did not arrive");
    return walked;
}

void CameraTests::df_dll_Click()
{
    auto &p = m_platform;
    auto &a = *m_account;
    begin(TestKind::Driver);
    const auto frame = std::make_unique<std::array<std::uint8_t, kFrameBufferSize>>(); // zeroed

    resetLog("Starting DLL Test (RGB)");
    p.status.appendLine("Connecting to COM device");
    p.status.repaintLog();

    bool portInitialised = false;
    bool lineOpen = false; // "Starting Timer & Dumping Frame...." awaits its result
    // The library's own words for the first failure, where it has them, and
    // the entry that failed: the later failures of a run usually follow from
    // the first. CAM_Init's result is not to be relied on; it only says when
    // to ask.
    const auto noteFailure = [&](DriverEntry entry) {
        if (!a.driverErrorText.empty())
            return;
        a.driverErrorText = p.driver.CAM_LastError().value_or("");
        if (!a.driverErrorText.empty())
            a.driverErrorAfter = entry;
    };
    bool dumped = false;
    try {
        if (p.driver.CAM_Init("COM1") != 1)
            noteFailure(DriverEntry::Init);
        portInitialised = true;
        p.sleeper.sleepMs(kDriverInitSettleMs);

        a.pingAnswered = p.driver.CAM_Ping() == 1;
        if (*a.pingAnswered) {
            p.status.appendLine("Ping....OK");
        } else {
            noteFailure(DriverEntry::Ping);
            p.status.appendLine("Ping....FAILED...Trying DF anyway");
        }
        p.status.repaintLog();

        p.status.appendText("Starting Timer & Dumping Frame....");
        lineOpen = true;
        p.status.repaintLog();
        const std::int64_t t0 = p.ticks.ticksMs();
        const std::int32_t result = p.driver.CAM_DumpFrame(frame->data()); // raises when the entry is missing
        const std::int64_t t1 = p.ticks.ticksMs();
        a.requested = true;
        a.requestedAtMs = t0;
        a.driverCallMs = t1 - t0;
        a.driverResult = result;
        a.reply.assign(reinterpret_cast<const char *>(frame->data()), frame->size());
        const std::size_t lastFilled = a.reply.find_last_not_of('\0');
        a.driverBytesFilled = lastFilled == std::string::npos ? 0 : lastFilled + 1;
        dumped = result == 1;
        if (!dumped)
            noteFailure(DriverEntry::DumpFrame);
        p.status.appendLine(dumped ? "OK" : "FAILED");
        lineOpen = false;
        p.status.repaintLog();

        p.pic.usePixelUnits();
        a.decoded = true;
        WalkRecorder walk(ReplyDecoder::FrameBuffer, a.reply);
        const std::int64_t t2 = p.ticks.ticksMs();
        const WalkEnd walked = DecodeFrameBuffer(*frame, p.pic, p.status, &walk);
        const std::int64_t t3 = p.ticks.ticksMs();
        a.noteWalk(walked, walk);
        logTiming("Total Ticks to Get Frame", ": ", t1 - t0, t1 - t0);
        logTiming("Total Ticks to Process Frame", ": ", t3 - t2, t3 - t2);
        if (!a.driverErrorText.empty()) {
            p.status.appendLine("Driver library: " + a.driverErrorText);
            // A port the library could not use: what is wrong with port 1's
            // device and what to do, where the port doctor finds it, else
            // the hint for the library's words. The library reports without
            // a dialog, so the log says it.
            if (const char *hint = DriverErrorHint(a.driverErrorText)) {
                const std::vector<std::string> advice = p.advisor.adviceFor(PortDevicePath(kCameraPort));
                for (const std::string &line : advice)
                    p.status.appendLine(line);
                if (advice.empty())
                    p.status.appendLine(hint);
            }
        }
        m_outcome
            = dumped && a.walkEnd == WalkEnd::EndMarker && a.drewAny ? TestOutcome::Succeeded : TestOutcome::Failed;

        p.driver.CAM_ClosePort();
    } catch (const DriverError &error) {
        m_outcome = TestOutcome::Stopped;
        a.driverLoadError = error.what();
        a.driverEntryMissing = error.kind() == DriverError::Kind::EntryMissing;
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
    // The library's words say whether it could use its port; what CAM_Init
    // returned does not.
    const bool portRefused
        = !a.driverErrorText.empty() && (a.driverErrorAfter == DriverEntry::Init || DriverPortCause(a.driverErrorText));
    if (!a.driverLoadError.empty())
        a.end = RunEnd::DriverUnusable;
    else if (m_outcome == TestOutcome::Succeeded)
        a.end = RunEnd::Complete;
    else if (portRefused)
        a.end = RunEnd::PortUnusable;
    else if (!dumped)
        a.end = RunEnd::DumpFailed;
    else if (a.walkEnd != WalkEnd::EndMarker)
        a.end = RunEnd::Incomplete;
    else
        a.end = RunEnd::NothingDrawn;
}
