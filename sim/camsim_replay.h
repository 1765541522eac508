#pragma once

// camsim --replay FILE: the simulated camera answers as a captured run's
// camera did (a capture saved by camconsole --save-run or Save Run As...).

#include "sim/camsim_camera.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

// How a replayed reply is paced: each read's bytes by the time the console
// read them in the capture (--replay-pace captured, the default), or the
// whole reply at the wire's pace (--replay-pace wire).
enum class ReplayPace { Captured, Wire };

// What camsim replays from a capture: the command the run requested ("DF",
// "TW") and its reply as the console received it, in the pieces of its
// reads; the other commands the run sent that went unanswered or were
// refused (the others are answered as by a healthy camera).
struct ReplayScript {
    std::string command;
    std::string reply;
    std::vector<ReplyPlan::Release> releases; // each read's bytes go half way between it and the read before
    bool hangUp = false; // the link failed after the reply: camsim closes the pty after it
    std::vector<std::string> silent; // answered with nothing
    std::vector<std::string> refused; // answered "NCK\r:"
};

// The script of the capture's bytes; nullopt with *error when they are not a
// capture camsim can replay.
std::optional<ReplayScript> ReplayScriptOf(std::string_view captureBytes, ReplayPace pace, std::string *error);

// The reply to command: the captured one for the captured command, silence
// or "NCK\r:" for a command the run saw go unanswered or refused, else the
// camera's own.
ReplyPlan ReplayReply(const ReplayScript &script, Camera &camera, std::string_view command);

} // namespace camsim
