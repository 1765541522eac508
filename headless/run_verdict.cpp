#include "run_verdict.h"

#include "frames/number_text.h"

namespace {

bool Logged(const FrameRecord &record, std::string_view text)
{
    return record.logText.find(text) != std::string::npos;
}

RunVerdict Failed(ExitCause cause, std::string reason, bool frameComplete = false)
{
    return { cause, std::move(reason), frameComplete };
}

std::string PortProblem(LinkError::Cause cause, const std::string &device, const std::string &text)
{
    switch (cause) {
    case LinkError::Cause::NoSuchDevice:
        return "port missing: " + device;
    case LinkError::Cause::Busy:
        return "port busy: " + device;
    case LinkError::Cause::PermissionDenied:
        return "port not permitted: " + device;
    default:
        return "port error: " + text;
    }
}

// The driver library names the cause in words, after the device: the
// system's own or that the port is in use.
std::string DriverPortProblem(const std::string &text)
{
    const std::size_t colon = text.find(": ");
    const std::string device = colon == std::string::npos ? text : text.substr(0, colon);
    const auto mentions = [&text](std::string_view words) { return text.find(words) != std::string::npos; };
    if (mentions("in use by another program") || mentions("busy"))
        return PortProblem(LinkError::Cause::Busy, device, text);
    if (mentions("Permission denied"))
        return PortProblem(LinkError::Cause::PermissionDenied, device, text);
    if (mentions("No such file or directory") || mentions("No such device"))
        return PortProblem(LinkError::Cause::NoSuchDevice, device, text);
    return "CAM_Init failed: " + text;
}

// The library's words without the device they start with.
std::string WithoutDevice(const std::string &text)
{
    const std::size_t colon = text.find(": ");
    if (!text.starts_with('/') || colon == std::string::npos)
        return text;
    return text.substr(colon + 2);
}

std::optional<RunVerdict> LinkVerdict(const FrameRecord &record)
{
    if (!record.linkFault)
        return std::nullopt;
    const FrameRecord::LinkFault &fault = *record.linkFault;
    if (!fault.afterOpen)
        return Failed(ExitCause::Unreachable, PortProblem(fault.cause, record.source, fault.text));
    return Failed(ExitCause::CameraFailed, "link lost mid-reply: " + fault.text);
}

RunVerdict JudgeDirect(const FrameRecord &record)
{
    if (auto link = LinkVerdict(record))
        return *link;
    if (!record.decoded) {
        if (!record.reply.empty())
            return Failed(ExitCause::CameraFailed, "the camera did not acknowledge \"DF\"");
        if (Logged(record, "Ping....FAILED"))
            return Failed(ExitCause::CameraFailed, "the camera did not answer the ping or \"DF\"");
        return Failed(ExitCause::CameraFailed, "the camera did not answer \"DF\"");
    }
    if (Logged(record, "Reception stopped: the camera did not pause"))
        return Failed(ExitCause::CameraFailed,
                      "frame incomplete: the camera did not pause within " + Count(record.reply.size()) + " bytes");
    if (Logged(record, "Frame incomplete:"))
        return Failed(ExitCause::CameraFailed,
                      "frame incomplete: " + Count(record.reply.size()) + " of " + Count(kFullDumpReplyBytes)
                          + " bytes, no byte for 50 ms");
    if (record.pixels.empty())
        return Failed(ExitCause::CameraFailed, "nothing drawn", true);
    return Failed(ExitCause::CameraFailed, "the frame was not accepted", true);
}

RunVerdict JudgeLineMode(const FrameRecord &record)
{
    if (auto link = LinkVerdict(record))
        return *link;
    if (!record.requested) {
        if (record.bytesReceived == 0)
            return Failed(ExitCause::CameraFailed, "the camera did not answer \"PM 1\"");
        return Failed(ExitCause::CameraFailed, "the camera did not acknowledge \"PM 1\" and \"LM 1\"");
    }
    if (record.reply.empty())
        return Failed(ExitCause::CameraFailed, "the camera did not answer \"TW\"");
    if (record.reply.find("ACK") == std::string::npos)
        return Failed(ExitCause::CameraFailed, "the camera did not acknowledge \"TW\"");
    if (Logged(record, "Reception stopped: the camera did not pause"))
        return Failed(ExitCause::CameraFailed,
                      "bitmap incomplete: the camera did not pause within " + Count(record.reply.size()) + " bytes");
    return Failed(ExitCause::CameraFailed,
                  "bitmap incomplete: " + Count(record.reply.size()) + " bytes, no byte for 75 ms");
}

RunVerdict JudgeDriver(const FrameRecord &record, bool frameComplete)
{
    if (!record.driverLoadError.empty()) {
        if (record.driverLoadError.find("undefined symbol") != std::string::npos)
            return Failed(ExitCause::Unreachable, "driver library lacks an entry: " + record.driverLoadError);
        return Failed(ExitCause::Unreachable, "driver library could not be loaded: " + record.driverLoadError);
    }
    if (record.driverInitResult && *record.driverInitResult != 1)
        return Failed(ExitCause::Unreachable,
                      record.driverErrorText.empty() ? "CAM_Init failed" : DriverPortProblem(record.driverErrorText));
    if (!record.driverResult || *record.driverResult != 1)
        return Failed(ExitCause::CameraFailed,
                      record.driverErrorText.empty() ? "CAM_DumpFrame failed" : WithoutDevice(record.driverErrorText));
    if (!Logged(record, "Image Dump Complete"))
        return Failed(ExitCause::CameraFailed, "frame incomplete: no end marker in the frame buffer");
    if (record.pixels.empty())
        return Failed(ExitCause::CameraFailed, "nothing drawn: the end marker came before a frame start");
    return Failed(ExitCause::CameraFailed, "the frame was not accepted", frameComplete);
}

} // namespace

RunVerdict JudgeRun(const FrameRecord &record, TestOutcome outcome)
{
    bool complete = false;
    switch (record.test) {
    case TestKind::Direct:
        complete = record.decoded && !Logged(record, "Frame incomplete:") && !record.linkFault;
        break;
    case TestKind::LineMode:
        complete = outcome == TestOutcome::Succeeded;
        break;
    case TestKind::Driver:
        complete = Logged(record, "Image Dump Complete") && !record.pixels.empty();
        break;
    }
    if (outcome == TestOutcome::Succeeded)
        return { ExitCause::AllSucceeded, {}, complete };
    switch (record.test) {
    case TestKind::Direct:
        return JudgeDirect(record);
    case TestKind::LineMode:
        return JudgeLineMode(record);
    case TestKind::Driver:
        return JudgeDriver(record, complete);
    }
    return Failed(ExitCause::CameraFailed, "failed");
}

void JudgeAgainstExpected(RunVerdict &verdict, const FrameMismatch &mismatch, std::size_t maxDiffering)
{
    if (!verdict.passed() || mismatch.cameraPixels <= maxDiffering)
        return;
    std::string reason = "frame differs from the expected one in " + Count(mismatch.cameraPixels) + " camera pixel"
        + (mismatch.cameraPixels == 1 ? "" : "s");
    if (mismatch.surfacePixels != mismatch.cameraPixels)
        reason
            += " (" + Count(mismatch.surfacePixels) + " surface pixel" + (mismatch.surfacePixels == 1 ? "" : "s") + ")";
    if (!mismatch.listed.empty())
        reason += ", the first at column " + std::to_string(mismatch.listed.front().column) + ", row "
            + std::to_string(mismatch.listed.front().row);
    verdict.cause = ExitCause::CameraFailed;
    verdict.reason = reason;
}

std::string VerdictLine(std::string_view test, int round, int rounds, const RunVerdict &verdict)
{
    std::string line = "camconsole: " + std::string(test);
    if (rounds > 1)
        line += ", run " + std::to_string(round) + " of " + std::to_string(rounds);
    line += verdict.passed() ? ": passed" : ": failed: " + verdict.reason;
    return line;
}

std::vector<TimingMs> TimingsInMs(const FrameRecord &record)
{
    std::vector<TimingMs> timings;
    std::size_t secondsTiming = 0;
    for (const LoggedTiming &timing : record.timings) {
        TimingMs entry { timing.label, timing.value, std::string(timing.unit), timing.value };
        if (timing.unit == "s") {
            const std::size_t first = 2 * secondsTiming++;
            entry.ms = first + 1 < record.secondsReadAtMs.size()
                ? record.secondsReadAtMs[first + 1] - record.secondsReadAtMs[first]
                : timing.value * 1000;
        }
        timings.push_back(std::move(entry));
    }
    return timings;
}
