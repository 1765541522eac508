#include "sim/camsim_reply.h"

#include <algorithm>
#include <stdexcept>

namespace camsim {

namespace {

constexpr std::uint8_t kLow = 16;
constexpr std::uint8_t kHigh = 240;

Rgb BarColor(int bar)
{
    // white, yellow, cyan, green, magenta, red, blue, black
    static constexpr bool kRed[8] = { true, true, false, false, true, true, false, false };
    static constexpr bool kGreen[8] = { true, true, true, true, false, false, false, false };
    static constexpr bool kBlue[8] = { true, false, true, false, true, false, true, false };
    return Rgb { kRed[bar] ? kHigh : kLow, kGreen[bar] ? kHigh : kLow, kBlue[bar] ? kHigh : kLow };
}

int Wrap(int value, int modulus)
{
    const int r = value % modulus;
    return r < 0 ? r + modulus : r;
}

} // namespace

const std::vector<Pattern> &AllPatterns()
{
    static const std::vector<Pattern> all = { Pattern::Bars, Pattern::Gradient, Pattern::Checker, Pattern::Markers };
    return all;
}

std::string_view PatternName(Pattern pattern)
{
    switch (pattern) {
    case Pattern::Bars:
        return "bars";
    case Pattern::Gradient:
        return "gradient";
    case Pattern::Checker:
        return "checker";
    case Pattern::Markers:
        return "markers";
    }
    return "?";
}

std::string_view PatternDescription(Pattern pattern)
{
    switch (pattern) {
    case Pattern::Bars:
        return "8 vertical bars of 10 columns, left to right white, yellow, cyan, green, "
               "magenta, red, blue, black (levels 16 and 240)";
    case Pattern::Gradient:
        return "red 16..240 from left to right, green 16..240 from top to bottom, blue 128";
    case Pattern::Checker:
        return "10x13-pixel blocks: red = 16+28*block column, green = 16+20*block row, "
               "blue 240/16 alternating like a checker board";
    case Pattern::Markers:
        return "red 16..240 left to right; green and blue cycle through 0, 1, 2, 3, 170, 128 "
               "(marker values inside pixel data)";
    }
    return "";
}

std::optional<Pattern> ParsePattern(std::string_view name)
{
    for (Pattern p : AllPatterns())
        if (PatternName(p) == name)
            return p;
    return std::nullopt;
}

Rgb PatternPixel(Pattern pattern, int column, int row)
{
    const int c = Wrap(column, kColumns);
    const int r = Wrap(row, kRows);
    switch (pattern) {
    case Pattern::Bars:
        return BarColor(c / 10);
    case Pattern::Gradient:
        return Rgb { static_cast<std::uint8_t>(16 + c * 224 / (kColumns - 1)),
                     static_cast<std::uint8_t>(16 + r * 224 / (kRows - 1)), 128 };
    case Pattern::Checker: {
        const int bc = c / 10;
        const int br = r / 13;
        return Rgb { static_cast<std::uint8_t>(16 + 28 * bc), static_cast<std::uint8_t>(16 + 20 * br),
                     (bc + br) % 2 ? kHigh : kLow };
    }
    case Pattern::Markers:
        return Rgb { static_cast<std::uint8_t>(16 + c * 224 / (kColumns - 1)), kMarkerValues[r % 6],
                     kMarkerValues[(c + r) % 6] };
    }
    return Rgb {};
}

Rgb AwkwardPixel(Pattern pattern, int column, int row)
{
    Rgb px = PatternPixel(pattern, column, row);
    const int c = Wrap(column, kColumns);
    const int r = Wrap(row, kRows);
    if ((c + r) % 7 == 0) {
        px.g = static_cast<std::uint8_t>(r % 4);
        px.b = static_cast<std::uint8_t>(c % 4);
    }
    return px;
}

std::string DumpFrame(Pattern pattern, int columns, bool awkward)
{
    std::string frame;
    frame.reserve(2 + static_cast<std::size_t>(columns) * (1 + 3 * kRows));
    frame.push_back(static_cast<char>(kFrameStart));
    for (int c = 0; c < columns; ++c) {
        frame.push_back(static_cast<char>(kColumnStart));
        for (int r = 0; r < kRows; ++r) {
            const Rgb px = awkward ? AwkwardPixel(pattern, c, r) : PatternPixel(pattern, c, r);
            frame.push_back(static_cast<char>(px.r));
            frame.push_back(static_cast<char>(px.g));
            frame.push_back(static_cast<char>(px.b));
        }
    }
    frame.push_back(static_cast<char>(kFrameEnd));
    return frame;
}

std::string DumpReply(Pattern pattern)
{
    return "ACK\r" + DumpFrame(pattern) + "\r:";
}

std::string DumpReply(const std::string &patternName)
{
    const auto pattern = ParsePattern(patternName);
    if (!pattern)
        throw std::invalid_argument("unknown camsim pattern: " + patternName);
    return DumpReply(*pattern);
}

bool LineModePixel(int x, int row)
{
    if (x < 0 || x >= kColumns)
        return false;
    const int r = Wrap(row, kRows);
    if (r == 0 || r == kRows - 1 || x == 0 || x == kColumns - 1)
        return true; // border
    if (x == r * (kColumns - 1) / (kRows - 1))
        return true; // diagonal
    if (x >= 8 && x <= 27 && r >= 8 && r <= 27)
        return true; // top-left square
    if (x >= 8 && x <= 47 && r >= 120 && r <= 123)
        return true; // bottom-left bar
    return false;
}

std::string LineModeRowBytes(int row)
{
    std::string bytes;
    for (int i = 0; i < kColumns / 8; ++i) {
        unsigned value = 0;
        for (int bit = 0; bit < 8; ++bit)
            value = (value << 1) | (LineModePixel(i * 8 + bit, row) ? 1u : 0u);
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::string LineModeBitmap(int rows)
{
    std::string bitmap(1, static_cast<char>(kBitmapMarker));
    for (int r = 0; r < rows; ++r)
        bitmap += LineModeRowBytes(r);
    bitmap.append(2, static_cast<char>(kBitmapMarker));
    return bitmap;
}

std::string LineModeReply()
{
    return "ACK\r" + LineModeBitmap() + "\r:";
}

std::string AwkwardLineModeBitmap()
{
    std::string bitmap(1, static_cast<char>(kBitmapMarker));
    for (int r = 0; r < kRows; ++r) {
        std::string row = LineModeRowBytes(r);
        if (r == kAwkwardRow)
            for (int i = 0; i < 4; ++i)
                row[1 + i] = static_cast<char>(i);
        bitmap += row;
        if (r == kLoneMarkerAfterRow)
            bitmap.push_back(static_cast<char>(kBitmapMarker));
    }
    bitmap.append(2, static_cast<char>(kBitmapMarker));
    return bitmap;
}

CommandKind ClassifyCommand(std::string_view command)
{
    if (command.empty())
        return CommandKind::Ping;
    if (command == "PM 0" || command == "PM 1")
        return CommandKind::PM;
    if (command == "LM 0" || command == "LM 1")
        return CommandKind::LM;
    if (command == "DF")
        return CommandKind::DF;
    if (command == "TW")
        return CommandKind::TW;
    return CommandKind::Unknown;
}

std::string_view CommandKindName(CommandKind kind)
{
    switch (kind) {
    case CommandKind::Ping:
        return "PING";
    case CommandKind::PM:
        return "PM";
    case CommandKind::LM:
        return "LM";
    case CommandKind::DF:
        return "DF";
    case CommandKind::TW:
        return "TW";
    case CommandKind::Unknown:
        return "UNKNOWN";
    }
    return "?";
}

std::optional<CommandKind> ParseCommandKind(std::string_view name)
{
    for (CommandKind k : { CommandKind::Ping, CommandKind::PM, CommandKind::LM, CommandKind::DF, CommandKind::TW })
        if (CommandKindName(k) == name)
            return k;
    return std::nullopt;
}

std::vector<std::string> CommandAssembler::feed(std::string_view bytes)
{
    std::vector<std::string> done;
    for (char ch : bytes) {
        if (ch == '\n')
            continue;
        if (ch == '\r') {
            done.push_back(std::move(m_pending));
            m_pending.clear();
            continue;
        }
        if (m_pending.size() < kMaxCommand)
            m_pending.push_back(ch);
    }
    return done;
}

const std::vector<FaultMode> &AllFaultModes()
{
    static const std::vector<FaultMode> all
        = { FaultMode::Silent, FaultMode::Nck,     FaultMode::LateAck, FaultMode::Garbage, FaultMode::Pause,
            FaultMode::Hangup, FaultMode::Endless, FaultMode::Short,   FaultMode::Long,    FaultMode::Awkward };
    return all;
}

std::string_view FaultModeName(FaultMode mode)
{
    switch (mode) {
    case FaultMode::Silent:
        return "silent";
    case FaultMode::Nck:
        return "nck";
    case FaultMode::LateAck:
        return "late-ack";
    case FaultMode::Garbage:
        return "garbage";
    case FaultMode::Pause:
        return "pause";
    case FaultMode::Hangup:
        return "hangup";
    case FaultMode::Endless:
        return "endless";
    case FaultMode::Short:
        return "short";
    case FaultMode::Long:
        return "long";
    case FaultMode::Awkward:
        return "awkward";
    }
    return "?";
}

std::string_view FaultModeDescription(FaultMode mode)
{
    switch (mode) {
    case FaultMode::Silent:
        return "no answer at all";
    case FaultMode::Nck:
        return "answers \"NCK\\r:\" (a mode command then has no effect)";
    case FaultMode::LateAck:
        return "\"\\r:\" before the normal reply, so \"ACK\" is not at the start";
    case FaultMode::Garbage:
        return "5 garbage bytes (0, '#', 127, '?', 254; no \"ACK\", no 1/2/3/170) before the normal reply";
    case FaultMode::Pause:
        return "a 300 ms pause in the middle of the reply, then the rest";
    case FaultMode::Hangup:
        return "in the middle of the reply the pty is closed; a fresh pty is opened, its path "
               "printed and the --link symlink re-pointed";
    case FaultMode::Endless:
        return "after \"ACK\\r\" (DF: frame start and columns; TW: marker and data bytes) the "
               "stream never ends, until a new command or 8 MiB";
    case FaultMode::Short:
        return "frame/bitmap cut at about half (DF: in the middle of a pixel), no end marker, "
               "then silence; other commands answer \"ACK\" alone";
    case FaultMode::Long:
        return "DF: 100 columns (43,008 bytes); TW: 286 rows; others normal";
    case FaultMode::Awkward:
        return "DF: green/blue bytes 0..3 where (column+row)%7==0; TW: data bytes 0,1,2,3 in "
               "row 50 and one lone 170 after row 70; others normal";
    }
    return "";
}

std::optional<FaultMode> ParseFaultMode(std::string_view name)
{
    for (FaultMode m : AllFaultModes())
        if (FaultModeName(m) == name)
            return m;
    return std::nullopt;
}

char ReplyPlan::byteAt(std::size_t offset) const
{
    if (offset < head.size())
        return head[offset];
    return repeat[(offset - head.size()) % repeat.size()];
}

std::string ReplyPlan::bytes(std::size_t offset, std::size_t count) const
{
    std::string out;
    if (offset >= total)
        return out;
    if (count > total - offset)
        count = total - offset;
    out.reserve(count);
    while (count > 0 && offset < head.size()) {
        const std::size_t n = std::min(count, head.size() - offset);
        out.append(head, offset, n);
        offset += n;
        count -= n;
    }
    while (count > 0) {
        const std::size_t at = (offset - head.size()) % repeat.size();
        const std::size_t n = std::min(count, repeat.size() - at);
        out.append(repeat, at, n);
        offset += n;
        count -= n;
    }
    return out;
}

namespace {

ReplyPlan Whole(std::string bytes)
{
    ReplyPlan plan;
    plan.total = bytes.size();
    plan.head = std::move(bytes);
    return plan;
}

std::string HealthyReply(CommandKind kind, Pattern pattern)
{
    switch (kind) {
    case CommandKind::DF:
        return DumpReply(pattern);
    case CommandKind::TW:
        return LineModeReply();
    case CommandKind::Unknown:
        return std::string(kNckReply);
    default:
        return std::string(kAckReply);
    }
}

} // namespace

ReplyPlan PlanReply(CommandKind kind, Pattern pattern, std::optional<FaultMode> fault)
{
    if (!fault || kind == CommandKind::Unknown)
        return Whole(HealthyReply(kind, pattern));

    switch (*fault) {
    case FaultMode::Silent:
        return ReplyPlan {};
    case FaultMode::Nck:
        return Whole(std::string(kNckReply));
    case FaultMode::LateAck:
        return Whole(std::string(kLateAckPrefix) + HealthyReply(kind, pattern));
    case FaultMode::Garbage:
        return Whole(std::string(kGarbagePrefix) + HealthyReply(kind, pattern));
    case FaultMode::Pause: {
        ReplyPlan plan = Whole(HealthyReply(kind, pattern));
        plan.pauseAt = plan.total / 2;
        return plan;
    }
    case FaultMode::Hangup: {
        ReplyPlan plan = Whole(HealthyReply(kind, pattern));
        plan.hangupAt = plan.total / 2;
        return plan;
    }
    case FaultMode::Endless: {
        ReplyPlan plan;
        if (kind == CommandKind::DF) {
            const std::string frame = DumpFrame(pattern);
            plan.head = "ACK\r" + frame.substr(0, 1);
            plan.repeat = frame.substr(1, frame.size() - 2); // the columns, again and again
        } else if (kind == CommandKind::TW) {
            const std::string bitmap = LineModeBitmap();
            plan.head = "ACK\r" + bitmap.substr(0, 1);
            plan.repeat = bitmap.substr(1, bitmap.size() - 3); // the data bytes, again and again
        } else {
            plan.head = "ACK\r";
            plan.repeat = ".";
        }
        plan.total = kEndlessLimit;
        return plan;
    }
    case FaultMode::Short:
        if (kind == CommandKind::DF) {
            const std::string frame = DumpFrame(pattern);
            // Half the frame is the frame start and 40 whole columns; two
            // more bytes add a column marker and the red byte of a pixel
            // whose green and blue never come.
            return Whole("ACK\r" + frame.substr(0, frame.size() / 2 + 2));
        }
        if (kind == CommandKind::TW) {
            const std::string bitmap = LineModeBitmap();
            return Whole("ACK\r" + bitmap.substr(0, 1 + (bitmap.size() - 3) / 2));
        }
        return Whole("ACK");
    case FaultMode::Long:
        if (kind == CommandKind::DF)
            return Whole("ACK\r" + DumpFrame(pattern, kLongColumns) + "\r:");
        if (kind == CommandKind::TW)
            return Whole("ACK\r" + LineModeBitmap(kLongRows) + "\r:");
        return Whole(HealthyReply(kind, pattern));
    case FaultMode::Awkward:
        if (kind == CommandKind::DF)
            return Whole("ACK\r" + DumpFrame(pattern, kColumns, true) + "\r:");
        if (kind == CommandKind::TW)
            return Whole("ACK\r" + AwkwardLineModeBitmap() + "\r:");
        return Whole(HealthyReply(kind, pattern));
    }
    return Whole(HealthyReply(kind, pattern));
}

Camera::Camera(Pattern pattern, std::vector<FaultRule> faults, std::optional<int> faultTimes)
    : m_pattern(pattern), m_faults(std::move(faults)), m_used(m_faults.size(), 0), m_faultTimes(faultTimes)
{
}

ReplyPlan Camera::handle(std::string_view command)
{
    const CommandKind kind = ClassifyCommand(command);
    const bool accepted = kind != CommandKind::Unknown && (kind != CommandKind::TW || m_lineMode);
    if (!accepted)
        return PlanReply(CommandKind::Unknown, m_pattern, std::nullopt);

    std::optional<FaultMode> fault;
    for (std::size_t i = 0; i < m_faults.size(); ++i) {
        const FaultRule &rule = m_faults[i];
        if (rule.kind && *rule.kind != kind)
            continue;
        if (m_faultTimes && m_used[i] >= *m_faultTimes)
            continue;
        ++m_used[i];
        fault = rule.mode;
        break;
    }

    if (kind == CommandKind::LM && fault != FaultMode::Nck)
        m_lineMode = command == "LM 1";
    return PlanReply(kind, m_pattern, fault);
}

} // namespace camsim
