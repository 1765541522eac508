#include "exit_status.h"

namespace {

// Higher wins. A usage error ends the program before anything else happens,
// so it never meets another cause.
int Rank(ExitCause cause)
{
    switch (cause) {
    case ExitCause::AllSucceeded:
        return 0;
    case ExitCause::CameraFailed:
        return 1;
    case ExitCause::OutputFailed:
        return 2;
    case ExitCause::Unreachable:
        return 3;
    case ExitCause::UsageError:
        return 4;
    }
    return 0;
}

} // namespace

int ExitStatusOf(ExitCause cause)
{
    switch (cause) {
    case ExitCause::AllSucceeded:
        return 0;
    case ExitCause::CameraFailed:
        return 1;
    case ExitCause::UsageError:
        return 2;
    case ExitCause::Unreachable:
        return 3;
    case ExitCause::OutputFailed:
        return 4;
    }
    return 1;
}

void ExitStatus::note(ExitCause cause)
{
    if (Rank(cause) > Rank(m_cause))
        m_cause = cause;
}
