#include "exit_status.h"

#include <array>

namespace {

struct CauseEntry {
    ExitCause cause;
    int status;
    // Higher wins. A usage error ends the program before anything else
    // happens, so it never meets another cause.
    int rank;
};

constexpr std::array<CauseEntry, 5> kCauses { {
    { ExitCause::AllSucceeded, 0, 0 },
    { ExitCause::CameraFailed, 1, 1 },
    { ExitCause::OutputFailed, 4, 2 },
    { ExitCause::Unreachable, 3, 3 },
    { ExitCause::UsageError, 2, 4 },
} };

const CauseEntry &EntryOf(ExitCause cause)
{
    for (const CauseEntry &entry : kCauses) {
        if (entry.cause == cause)
            return entry;
    }
    return kCauses[1]; // not reached: every cause is in the table
}

} // namespace

int ExitStatusOf(ExitCause cause)
{
    return EntryOf(cause).status;
}

void ExitStatus::note(ExitCause cause)
{
    if (EntryOf(cause).rank > EntryOf(m_cause).rank)
        m_cause = cause;
}
