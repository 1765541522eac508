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
    std::string unit; // the camera tested (ReportedUnit::id)
    int unitNumber = 1; // ReportedUnit::number
    std::vector<std::string> keptFiles; // --keep-failed's files of this run
};

// A camera tested: its name and where the name came from, and the USB
// adapter port 1 was on when it was plugged in.
struct ReportedUnit {
    int number = 1; // in the --units loop, from 1
    std::string id;
    std::string idSource; // "from --unit", "USB serial number" or "unit number"
    std::chrono::system_clock::time_point start;
    std::string usbId; // the adapter's "vendor:product" in hex; empty when port 1 is no USB adapter
    std::string usbSerialNumber;
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
    std::vector<std::pair<std::string, std::string>> tags; // --tag KEY=VALUE, in the order given
    std::vector<ReportedUnit> units;
    bool unitLoop = false; // --units: the JUnit report has a testsuite per unit
    std::string stoppedBy; // "SIGINT" or "SIGTERM" when a signal stopped the run
    int exitStatus = 0; // as known when the report is written
};

// The JSON document of --report (docs/camconsole-report.schema.json).
std::string ReportJson(const ReportContents &report);
// The JUnit XML of --junit: one testsuite (with --units one per unit, in a
// testsuites element), one testcase per run.
std::string ReportJunit(const ReportContents &report);
// The CSV table of --csv (RFC 4180): a header row, then one row per run.
std::string ReportCsv(const ReportContents &report);

// "2026-05-04T13:45:12.345Z".
std::string IsoTime(std::chrono::system_clock::time_point time);
// The local time of day with the zone's offset: "2026-05-04T15:45:12.345+02:00".
std::string LocalIsoTime(std::chrono::system_clock::time_point time);
// The local time to the second, for file names: "20260504T154512".
std::string LocalFileTime(std::chrono::system_clock::time_point time);
