#include "frames/run_judgement.h"

#include "common/frame_geometry.h"
#include "frames/number_text.h"
#include "frames/reception_figures.h"
#include "link/send_command.h"
#include "procedures/port_hint.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr std::size_t kShownReplyStart = 8;

std::string Counted(std::size_t count, const char *thing)
{
    return Count(count) + " " + thing + (count == 1 ? "" : "s");
}

// The link's words for the failure that ended a reception.
std::string LinkErrorText(const FrameRecord &r)
{
    return r.linkFault ? r.linkFault->text : std::string();
}

std::string Ms(std::int64_t ms)
{
    return (ms < 0 ? "-" : "") + Count(static_cast<std::uint64_t>(std::llabs(ms))) + " ms";
}

std::string Rate(double bytesPerSecond)
{
    char share[32];
    std::snprintf(share, sizeof share, "%.1f", 100.0 * bytesPerSecond / kWireBytesPerSecond);
    return Count(static_cast<std::uint64_t>(std::llround(bytesPerSecond))) + " B/s (" + share
        + " % of the wire's 11,520)";
}

// The reply's first bytes as text, others in hex: "NCK\r" -> "NCK" 0D.
std::string ReplyStart(const std::string &reply)
{
    std::string text;
    bool inQuote = false;
    for (std::size_t i = 0; i < reply.size() && i < kShownReplyStart; ++i) {
        const auto byte = static_cast<unsigned char>(reply[i]);
        const bool printable = byte >= 32 && byte < 127 && byte != '"';
        if (printable != inQuote) {
            text += inQuote ? "\"" : (text.empty() ? "\"" : " \"");
            inQuote = printable;
        }
        if (printable) {
            text += static_cast<char>(byte);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", byte);
            text += (text.empty() ? "" : " ") + std::string(hex);
        }
    }
    if (inQuote)
        text += "\"";
    if (reply.size() > kShownReplyStart)
        text += " ...";
    return text;
}

std::string RowsOf(const FrameSpan &frame)
{
    const std::string columns = Counted(frame.columns, "column");
    if (frame.minRows == frame.maxRows)
        return columns + " of " + Counted(frame.minRows, "row");
    return columns + " of " + Count(frame.minRows) + " to " + Count(frame.maxRows) + " rows";
}

// "after 17,204 of 34,408 bytes: no byte for 50 ms"
std::string StoppedAfter(const FrameRecord &r, std::size_t whole)
{
    std::string text = "after " + Count(r.reply.size());
    text += whole > r.reply.size() ? " of " + Count(whole) + " bytes" : " bytes";
    const std::string why = ReceptionEndText(r);
    return why.empty() ? text : text + ": " + why;
}

std::string NotAcknowledged(const FrameRecord &r, const char *command)
{
    if (r.reply.empty()) {
        const std::string why = ReceptionEndText(r);
        return std::string("No reply to \"") + command + "\": nothing arrived" + (why.empty() ? "" : " (" + why + ")");
    }
    return "Not acknowledged: the reply starts with " + ReplyStart(r.reply) + ", not \"ACK\"";
}

std::string FrameDumpOutcome(const FrameRecord &r, const ReplySummary *s)
{
    if (!s || s->frames.empty()) {
        const std::string walked = s ? "no frame start in " + Counted(r.reply.size(), "byte") : "not walked";
        return "No frame: " + walked;
    }
    const FrameSpan &frame = s->frames.back();
    std::string more;
    if (s->frames.size() > 1)
        more = " (the last of " + Count(s->frames.size()) + " frames)";
    if (frame.end)
        return "Complete frame: " + RowsOf(frame) + ", end marker at " + Count(*frame.end) + more;
    if (r.test == TestKind::Driver)
        return "Incomplete frame: " + RowsOf(frame) + ", no end marker in the buffer" + more;
    return "Incomplete frame: " + RowsOf(frame) + "; reception stopped " + StoppedAfter(r, kWholeFrameDumpBytes) + more;
}

std::string LineModeOutcome(const FrameRecord &r, const ReplySummary &s)
{
    if (s.end == WalkEnd::EndMarker)
        return "Complete bitmap: " + Counted(s.rows, "row") + " of " + Count(kBitmapRowPixels)
            + " pixels, end markers at " + Count(s.endOffset - 1) + " and " + Count(s.endOffset);
    if (s.markers.empty())
        return "No bitmap: no marker (170) in " + Counted(r.reply.size(), "byte") + "; reception stopped "
            + StoppedAfter(r, 0);
    std::string rows = Counted(s.rows, "row");
    if (s.rows > 0 && s.lastRowPixels < kBitmapRowPixels)
        rows += ", the last with " + Count(s.lastRowPixels) + " of " + Count(kBitmapRowPixels) + " pixels";
    return "Incomplete bitmap: " + rows + ", no two end markers; reception stopped " + StoppedAfter(r, 0);
}

} // namespace

std::string ReceptionEndText(const FrameRecord &r)
{
    switch (r.receptionEnd) {
    case ReceptionEnd::Unknown:
        return {};
    case ReceptionEnd::Pause:
        return "no byte for " + Ms(r.pauseMs);
    case ReceptionEnd::SizeLimit:
        return "the reception's size limit, with " + Counted(static_cast<std::size_t>(r.bytesWaiting), "byte")
            + " more waiting";
    case ReceptionEnd::LinkError:
        return "link error (" + LinkErrorText(r) + ")";
    }
    return {};
}

std::string OutcomeLine(const FrameRecord &r)
{
    const ReplySummary *s = r.walk ? &r.walk->summary() : nullptr;
    const bool driver = r.test == TestKind::Driver;
    if (!r.requested) {
        if (driver)
            return "Not requested: CAM_DumpFrame was not called (see the log)";
        if (r.test == TestKind::LineMode && (r.end == RunEnd::NotAnswered || r.end == RunEnd::NotAcknowledged))
            return "Not requested: the camera did not acknowledge \"PM 1\" and \"LM 1\", so \"TW\" was not sent";
        return std::string("Not requested: the test ended before \"") + (r.test == TestKind::Direct ? "DF" : "TW")
            + "\" was sent (see the log)";
    }
    if (r.receptionEnd == ReceptionEnd::LinkError)
        return "Link error after " + Counted(r.reply.size(), "byte") + " (" + LinkErrorText(r) + ")"
            + (!r.decoded && r.walk ? ": not drawn by the console; shown as its decoder would draw it" : "");
    if (driver) {
        std::string line = FrameDumpOutcome(r, s);
        if (r.driverResult && *r.driverResult != 1)
            line = "CAM_DumpFrame failed (returned " + std::to_string(*r.driverResult) + "); " + line;
        return line;
    }
    const char *command = r.test == TestKind::Direct ? "DF" : "TW";
    if (r.end == RunEnd::NotAnswered || r.end == RunEnd::NotAcknowledged || !s)
        return NotAcknowledged(r, command);
    if (r.test == TestKind::LineMode)
        return LineModeOutcome(r, *s);
    return FrameDumpOutcome(r, s);
}

std::vector<std::string> ReceptionLines(const FrameRecord &r)
{
    const ReplySummary *s = r.walk ? &r.walk->summary() : nullptr;
    std::vector<std::string> lines;
    if (r.test == TestKind::Driver) {
        if (!r.driverCallMs) {
            lines.push_back("CAM_DumpFrame was not called.");
            return lines;
        }
        lines.push_back("CAM_DumpFrame took " + Ms(*r.driverCallMs)
                        + (r.driverResult ? " and returned " + std::to_string(*r.driverResult) : "") + ".");
        lines.push_back("The library receives on its own: no reads to show.");
        const std::optional<std::size_t> end
            = s && !s->frames.empty() && s->frames.back().end ? s->frames.back().end : std::nullopt;
        if (end) {
            lines.push_back("Ended: at the end marker (" + Count(*end) + "); the library reads up to it.");
            if (*r.driverCallMs > 0)
                lines.push_back("Up to it: "
                                + Rate(static_cast<double>(*end + 1) * 1000.0 / static_cast<double>(*r.driverCallMs))
                                + ", the wait for the first byte included.");
        } else {
            lines.push_back("Ended: without an end marker in the buffer.");
        }
        return lines;
    }

    const ReceptionFigures f = FiguresOf(r.reads);
    lines.push_back("Bytes: " + Count(f.bytes) + " in " + Counted(f.reads, "read") + ".");
    if (f.bytes > 0) {
        std::string first = "First bytes: at " + Ms(f.firstBytesMs);
        if (!r.reads.empty() && r.reads.front().msSinceCommand == f.firstBytesMs && r.sleptBeforeFirstReadMs > 0)
            first += ", in the console's first read, after its " + Ms(r.sleptBeforeFirstReadMs) + " wait";
        lines.push_back(first + ".");
        if (f.arrivalBytesPerSecond > 0)
            lines.push_back("While arriving (" + Ms(f.firstBytesMs) + " to " + Ms(f.lastBytesMs)
                            + "): " + Rate(f.arrivalBytesPerSecond) + ".");
        else
            lines.push_back("While arriving: all in one read, so no rate.");
        lines.push_back("Longest gap: " + Ms(f.longestGapMs) + ", until " + Ms(f.longestGapEndsMs) + ".");
    }
    const std::string why = ReceptionEndText(r);
    if (!why.empty())
        lines.push_back("Ended: " + why + ".");
    return lines;
}

namespace {

Verdict Failed(std::string reason, Verdict::Result result = Verdict::Result::Failed)
{
    return { result, std::move(reason), false };
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

// The driver library names its port before its words: "/dev/ttyS0: ...".
std::string DeviceOf(const std::string &text)
{
    const std::size_t colon = text.find(": ");
    return colon == std::string::npos ? text : text.substr(0, colon);
}

// The library's words without the device they start with.
std::string WithoutDevice(const std::string &text)
{
    const std::size_t colon = text.find(": ");
    if (!text.starts_with('/') || colon == std::string::npos)
        return text;
    return text.substr(colon + 2);
}

Verdict PortVerdict(const FrameRecord &r)
{
    if (r.test == TestKind::Driver) {
        const std::optional<LinkError::Cause> cause = DriverPortCause(r.driverErrorText);
        return Failed(cause ? PortProblem(*cause, DeviceOf(r.driverErrorText), r.driverErrorText)
                            : "CAM_Init failed: " + r.driverErrorText,
                      Verdict::Result::Unreachable);
    }
    const std::string text = r.linkFault ? r.linkFault->text : std::string();
    const LinkError::Cause cause = r.linkFault ? r.linkFault->cause : LinkError::Cause::Other;
    return Failed(PortProblem(cause, r.source, text), Verdict::Result::Unreachable);
}

std::string WhatIsIncomplete(const FrameRecord &r)
{
    return r.test == TestKind::LineMode ? "bitmap incomplete: " : "frame incomplete: ";
}

Verdict Unanswered(const FrameRecord &r)
{
    if (r.test == TestKind::Direct && r.pingAnswered == false)
        return Failed("the camera did not answer the ping or \"DF\"");
    return Failed("the camera did not answer \"" + r.failedCommand + "\"");
}

Verdict Refused(const FrameRecord &r)
{
    if (r.failedCommand == "PM 1" || r.failedCommand == "LM 1")
        return Failed("the camera did not acknowledge \"PM 1\" and \"LM 1\"");
    return Failed("the camera did not acknowledge \"" + r.failedCommand + "\"");
}

Verdict Cut(const FrameRecord &r)
{
    if (r.test == TestKind::Driver)
        return Failed("frame incomplete: no end marker in the frame buffer");
    if (r.test == TestKind::LineMode)
        return Failed(WhatIsIncomplete(r) + Count(r.reply.size()) + " bytes, no byte for " + Ms(r.pauseMs));
    return Failed(WhatIsIncomplete(r) + Count(r.reply.size()) + " of " + Count(kWholeFrameDumpBytes)
                  + " bytes, no byte for " + Ms(r.pauseMs));
}

Verdict VerdictOf(const FrameRecord &r)
{
    switch (r.end) {
    case RunEnd::Complete:
        return { Verdict::Result::Passed, {}, false };
    case RunEnd::PortUnusable:
        return PortVerdict(r);
    case RunEnd::DriverUnusable:
        if (r.driverEntryMissing)
            return Failed("driver library lacks an entry: " + r.driverLoadError, Verdict::Result::Unreachable);
        return Failed("driver library could not be loaded: " + r.driverLoadError, Verdict::Result::Unreachable);
    case RunEnd::LinkLost:
        return Failed("link lost mid-reply: " + (r.linkFault ? r.linkFault->text : std::string()));
    case RunEnd::NotAnswered:
        return Unanswered(r);
    case RunEnd::NotAcknowledged:
        return Refused(r);
    case RunEnd::NeverPaused:
        return Failed(WhatIsIncomplete(r) + "the camera did not pause within " + Count(r.reply.size()) + " bytes");
    case RunEnd::Incomplete:
        return Cut(r);
    case RunEnd::DumpFailed:
        return Failed(r.driverErrorText.empty() ? "CAM_DumpFrame failed" : WithoutDevice(r.driverErrorText));
    case RunEnd::NothingDrawn:
        return Failed(r.test == TestKind::Driver ? "nothing drawn: the end marker came before a frame start"
                                                 : "nothing drawn");
    case RunEnd::Cancelled:
        return Failed("stopped by a signal");
    }
    return Failed("failed");
}

} // namespace

Verdict JudgeRun(const FrameRecord &record)
{
    Verdict verdict = VerdictOf(record);
    verdict.frameComplete
        = record.walkEnd && FrameComplete(*record.walkEnd) && (record.test != TestKind::Driver || record.drewAny);
    return verdict;
}

std::string VerdictLine(std::string_view test, int round, int rounds, const Verdict &verdict)
{
    std::string line = "camconsole: " + std::string(test);
    if (rounds > 1)
        line += ", run " + std::to_string(round) + " of " + std::to_string(rounds);
    line += verdict.passed() ? ": passed" : ": failed: " + verdict.reason;
    return line;
}
