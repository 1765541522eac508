#pragma once

// Scheduling for camsim on a busy machine.

#include <string>

namespace camsim {

// Asks for a real-time scheduling policy (SCHED_FIFO), so that camsim is
// never kept off the CPU long enough to leave a gap in a reply: the console
// takes a 50 ms pause for the end of a reply, and a real camera's bytes keep
// arriving whatever the host is doing. Where the system does not allow it
// (not root, no RLIMIT_RTPRIO), asks for a higher nice priority instead, and
// where that is refused too, camsim runs as it is. Returns what it got, in a
// few words ("SCHED_FIFO 10", "nice -10", "normal").
std::string RaiseSchedulingPriority();

} // namespace camsim
