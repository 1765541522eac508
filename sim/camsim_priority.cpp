#include "sim/camsim_priority.h"

#include <sched.h>
#include <sys/resource.h>

namespace camsim {

namespace {

// Low among real-time priorities: above every normal process, below the
// kernel's own real-time threads. camsim sleeps between its 2 ms pacing
// ticks, so it takes little of a CPU even at this priority.
constexpr int kRealTimePriority = 10;
constexpr int kNiceFallback = -10;

} // namespace

std::string RaiseSchedulingPriority()
{
    sched_param param {};
    param.sched_priority = kRealTimePriority;
    // SCHED_RESET_ON_FORK: nothing camsim might start inherits the policy.
    if (::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0)
        return "SCHED_FIFO " + std::to_string(kRealTimePriority);
    if (::setpriority(PRIO_PROCESS, 0, kNiceFallback) == 0)
        return "nice " + std::to_string(kNiceFallback);
    return "normal";
}

} // namespace camsim
