#include "sim/camsim_camera.h"

#include <algorithm>

namespace camsim {

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
            return Whole("ACK\r" + DumpFrame(pattern, kColumns, AwkwardPixel) + "\r:");
        if (kind == CommandKind::TW)
            return Whole("ACK\r" + AwkwardLineModeBitmap() + "\r:");
        return Whole(HealthyReply(kind, pattern));
    case FaultMode::Flip:
        if (kind == CommandKind::DF)
            return Whole("ACK\r" + DumpFrame(pattern, kColumns, FlipPixel) + "\r:");
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
