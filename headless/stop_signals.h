#pragma once

// SIGINT and SIGTERM during a run without a window: the handlers only note
// the signal, and the run stops at its next event-processing point or
// between two tests, so the port is closed and the summary printed. The
// previous handlers come back when this object goes.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // The signal received (SIGINT or SIGTERM), or 0.
    static int received();
    // The exit status for a run stopped by signal: 128 + its number.
    static int exitStatus(int signal) { return 128 + signal; }
};
