#pragma once

#include "frames/last_runs.h"
#include "procedures/test_outcome.h"

#include <string>

struct ConsolePlatform;

// How a recorded run of a test ended.
struct RecordedTestResult {
    TestOutcome outcome = TestOutcome::Failed;
    // The run was cancelled at an event-processing point (the window is
    // closing, or a run without a window was told to stop); the test closed
    // its port on the way out and its outcome is Failed.
    bool cancelled = false;
};

// Runs one of the three tests on platform as a button of the window and a run
// without a window do, recorded as the test's last run in recorder however
// it ends. driverSource names the driver library for the driver test's
// record; the other tests' records name port 1's device.
RecordedTestResult RunRecordedTest(LastRuns &recorder, TestKind test, const ConsolePlatform &platform,
                                   const std::string &driverSource);
