#pragma once

// The exit status of a run without a window: one status per cause. When
// several causes meet, the most serious decides: a signal (the process dies
// by it), then 3, then 4, then 1, then 0.
enum class ExitCause {
    AllSucceeded, // 0: every run succeeded
    CameraFailed, // 1: a run failed at the camera
    UsageError, // 2: the command line is unusable; found before any test runs
    Unreachable, // 3: the port or the driver library could not be used
    OutputFailed, // 4: standard output, a saved file or a report could not be written
};

int ExitStatusOf(ExitCause cause);

// Collects the causes met during a run and gives the status that wins.
class ExitStatus {
public:
    void note(ExitCause cause);
    ExitCause cause() const { return m_cause; }
    int status() const { return ExitStatusOf(m_cause); }

private:
    ExitCause m_cause = ExitCause::AllSucceeded;
};
