#pragma once

#include "frames/drawn_pixels.h"
#include "procedures/run_account.h"

#include <chrono>
#include <string>

// What one run of a test left behind: the account its test kept (what it
// sent and received, how the reception and the walk ended, its timings and
// how it ended), every pixel its decoder drew (unclipped) and the text it
// logged. Made by Recording (last_runs.h).
struct FrameRecord : RunAccount {
    std::chrono::system_clock::time_point startedAt;
    // The port device the test talked through, or the driver library's path.
    std::string source;

    DrawnPixels pixels;
    // The text the test wrote to the log, for the reports.
    std::string logText;
};
