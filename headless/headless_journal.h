#pragma once

#include "frames/drawn_pixels.h"
#include "frames/frame_record.h"
#include "headless/exit_status.h"
#include "headless/reports.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

// The frame every run's whole frame is judged against (--expect-frame).
struct ExpectedFrameCheck {
    std::string path;
    DrawnPixels pixels;
    int tolerance = 0; // the largest difference of one color component
    std::int64_t maxDiffering = 0; // camera pixels
};

// Keeps the account of a run without a window: judges each run as it ends
// and prints its verdict line after its log, collects what --report and
// --junit write, and the causes that make the exit status.
class HeadlessJournal {
public:
    HeadlessJournal(std::FILE *out, ReportContents header, std::optional<ExpectedFrameCheck> expected);

    // A run ended (not stopped by a signal); prints its verdict line and
    // returns whether it passed.
    bool runEnded(int round, const FrameRecord &record, std::chrono::system_clock::time_point end);
    // A run a signal stopped before it ended; record is what it left.
    void runStopped(int round, const FrameRecord &record, std::chrono::system_clock::time_point end);
    // A file saved from the last run.
    void fileSaved(const std::string &path);
    // A file that could not be written: said on err, noted as an output
    // failure.
    void fileNotWritten(const std::string &path, const std::string &reason, std::FILE *err);

    // The line after the summary of a run a signal stopped.
    std::string stoppedLine(int signal) const;
    void noteStop(int signal);

    void note(ExitCause cause) { m_status.note(cause); }
    const ExitStatus &status() const { return m_status; }

    // Writes the reports asked for (empty paths are skipped) atomically; a
    // report that can not be written is said on err and noted as an output
    // failure. The report states the exit status as known before.
    void writeReports(const std::string &jsonPath, const std::string &junitPath, std::FILE *err);

private:
    ReportEntry reported(int round, const FrameRecord &record, std::chrono::system_clock::time_point end) const;

    std::FILE *m_out;
    ReportContents m_report;
    std::optional<ExpectedFrameCheck> m_expected;
    ExitStatus m_status;
};

// "SIGINT", "SIGTERM", else "signal N".
std::string SignalName(int signal);
