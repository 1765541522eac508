#pragma once

// camsim's command line.

#include "sim/camsim_faults.h"
#include "sim/camsim_pacer.h"
#include "sim/camsim_picture.h"

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

std::string HelpText();
// "camsim <project version>"
std::string VersionText();
std::string ListText();

} // namespace camsim
