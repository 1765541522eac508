#pragma once

// camsim's command line.

#include "sim/camsim_faults.h"
#include "sim/camsim_pacer.h"
#include "sim/camsim_picture.h"
#include "sim/camsim_replay.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace camsim {

struct Options {
    std::string linkPath; // --link PATH: symlink to the pty slave
    std::string logPath; // --log FILE: received commands, one a line
    Pattern pattern = Pattern::Bars; // --pattern NAME
    std::vector<FaultRule> faults; // --fault MODE | --fault CMD=MODE, in order
    std::optional<int> faultTimes; // --fault-times N
    bool fast = false; // --fast: no wire pacing
    std::chrono::milliseconds lead = kDefaultLead; // --lead MS: reply queued ahead of the wire
    bool realtime = false; // --realtime: real-time scheduling where allowed
    std::string replayPath; // --replay FILE: a capture to answer as
    ReplayPace replayPace = ReplayPace::Captured; // --replay-pace captured|wire
    std::optional<ReplayScript> replay; // read from replayPath (LoadReplay)
    bool help = false; // --help
    bool list = false; // --list
    bool version = false; // --version
};

// A bad command line; what() is a one-line message for the user.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after '=' ("--pattern=checker").
Options ParseOptions(const std::vector<std::string> &args);

// Reads the capture of --replay into options.replay; a captured pace sends
// each piece as soon as it is released (no wire pacing of its own). Throws
// UsageError for a file that can not be read or replayed.
void LoadReplay(Options &options);

std::string HelpText();
// "camsim <project version>"
std::string VersionText();
std::string ListText();

} // namespace camsim
