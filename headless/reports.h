#pragma once

#include "frames/frame_compare.h"
#include "frames/run_judgement.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What --report and --junit write: the console, the camera's port and
// driver, and each run with its verdict. Plain data, filled as the runs end.
struct ReportEntry {
    std::string test; // normal, binary or dll
    int round = 1;
    std::chrono::system_clock::time_point start;
    std::int64_t durationMs = 0;
    bool stopped = false; // ended by a signal before its verdict
    Verdict verdict;
    std::vector<RunTiming> timings;
    std::size_t bytesReceived = 0; // the reply to the request (dll: the bytes the library filled)
    std::size_t pixelsDrawn = 0; // surface pixels
    std::optional<FrameComparison> mismatch; // with the expected frame, when one was given
    std::vector<std::string> savedFiles;
    std::string log; // the run's log, "\n" line ends
};

struct ReportContents {
    std::string version;
    std::string port;
    std::string portSource; // as the About box says it: "from --port", ...
    std::string driver;
    std::string driverSource;
    std::chrono::system_clock::time_point start;
    std::vector<std::string> tests; // as given to --run
    int rounds = 1;
    std::optional<std::string> expectedFrame;
    int tolerance = 0;
    std::int64_t maxDiffering = 0;
    std::vector<ReportEntry> runs;
    std::string stoppedBy; // "SIGINT" or "SIGTERM" when a signal stopped the run
    int exitStatus = 0; // as known when the report is written
};

// The JSON document of --report (docs/camconsole-report.schema.json).
std::string ReportJson(const ReportContents &report);
// The JUnit XML of --junit: one testsuite, one testcase per run.
std::string ReportJunit(const ReportContents &report);

// "2026-05-04T13:45:12.345Z".
std::string IsoTime(std::chrono::system_clock::time_point time);
