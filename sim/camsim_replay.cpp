#include "sim/camsim_replay.h"

#include "frames/capture_format.h"

#include <algorithm>

namespace camsim {

std::optional<ReplayScript> ReplayScriptOf(std::string_view captureBytes, ReplayPace pace, std::string *error)
{
    const std::optional<Capture> capture = DecodeCapture(captureBytes, error);
    if (!capture)
        return std::nullopt;
    const FrameRecord &run = capture->record;
    ReplayScript script;
    switch (run.test) {
    case TestKind::Direct:
        script.command = "DF";
        break;
    case TestKind::LineMode:
        script.command = "TW";
        break;
    case TestKind::Driver:
        // The driver's buffer holds what it read of the camera's reply up
        // to the last byte it filled; no reads were kept.
        script.command = "DF";
        break;
    }
    if (run.test == TestKind::Driver)
        script.reply = run.reply.substr(0, run.driverBytesFilled);
    else
        script.reply = run.reply;
    if (pace == ReplayPace::Captured && run.test != TestKind::Driver) {
        // Each read's bytes go half way between the read before it and
        // itself, so the console's reads, which keep the captured times to
        // some ms, find them in the same pieces.
        std::size_t offset = 0;
        std::int64_t before = 0;
        for (const ReceptionRead &read : run.reads) {
            if (read.bytes > 0 && offset < script.reply.size()) {
                const std::int64_t at = before + (read.msSinceCommand - before) / 2;
                script.releases.push_back({ offset, std::chrono::milliseconds(std::max<std::int64_t>(at, 0)) });
                offset += read.bytes;
            }
            before = read.msSinceCommand;
        }
    }
    script.hangUp = run.test != TestKind::Driver && run.receptionEnd == ReceptionEnd::LinkError;
    for (const RunAccount::SentCommand &sent : run.commands) {
        if (sent.command == script.command)
            continue;
        if (sent.replyBytes == 0)
            script.silent.push_back(sent.command);
        else if (!sent.acknowledged)
            script.refused.push_back(sent.command);
    }
    return script;
}

ReplyPlan ReplayReply(const ReplayScript &script, Camera &camera, std::string_view command)
{
    ReplyPlan plan;
    if (command == script.command) {
        plan.head = script.reply;
        plan.total = script.reply.size();
        plan.releases = script.releases;
        if (script.hangUp)
            plan.hangupAt = plan.total;
        return plan;
    }
    const auto among = [command](const std::vector<std::string> &commands) {
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    };
    if (among(script.silent))
        return plan;
    if (among(script.refused)) {
        plan.head = std::string(kNckReply);
        plan.total = plan.head.size();
        return plan;
    }
    return camera.handle(command);
}

} // namespace camsim
