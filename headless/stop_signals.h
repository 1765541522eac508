#pragma once

// SIGINT and SIGTERM during a run without a window, handled as Unix tools
// handle them. The first one is only noted: the run stops at its next
// event-processing point or between two tests, so the port is closed and
// what was done printed and reported; the handler puts the default action
// back at once, so a second signal ends the process there and then (inside
// a driver call that hangs, say). At the end endBy() raises the signal
// again with its default action, so the parent sees death by that signal.
// A signal ignored when the object is made (nohup, a background job) stays
// ignored. The previous handlers come back when this object goes.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // The signal received (SIGINT or SIGTERM), or 0.
    static int received();
    // The exit status for a run stopped by signal: 128 + its number (what
    // a shell reports for a death by it).
    static int exitStatus(int signal) { return 128 + signal; }
    // Ends the process by signal with its default action. Returns only when
    // that did not end it.
    static void endBy(int signal);
};
