#include "headless_journal.h"

#include "cli/command_line.h"
#include "frames/atomic_file.h"

#include <csignal>

namespace {

std::string LogLines(const std::string &logText)
{
    std::string lines;
    for (std::size_t i = 0; i < logText.size(); ++i) {
        if (logText[i] == '\r' && i + 1 < logText.size() && logText[i + 1] == '\n')
            continue;
        lines += logText[i];
    }
    return lines;
}

ExitCause CauseOf(const Verdict &verdict)
{
    switch (verdict.result) {
    case Verdict::Result::Passed:
        return ExitCause::AllSucceeded;
    case Verdict::Result::Unreachable:
        return ExitCause::Unreachable;
    case Verdict::Result::Failed:
        break;
    }
    return ExitCause::CameraFailed;
}

// Fails a run that passed when its frame differs from the expected one by
// more than maxDiffering camera pixels.
void JudgeAgainstExpected(Verdict &verdict, const FrameComparison &mismatch, std::size_t maxDiffering)
{
    if (!verdict.passed() || mismatch.camera.differing <= maxDiffering)
        return;
    std::string reason = "frame differs from the expected one in " + DifferingPixelsText(mismatch);
    if (!mismatch.listed.empty())
        reason += ", the first at column " + std::to_string(mismatch.listed.front().column) + ", row "
            + std::to_string(mismatch.listed.front().row);
    verdict.result = Verdict::Result::Failed;
    verdict.reason = reason;
}

} // namespace

std::string SignalName(int signal)
{
    if (signal == SIGINT)
        return "SIGINT";
    if (signal == SIGTERM)
        return "SIGTERM";
    return "signal " + std::to_string(signal);
}

HeadlessJournal::HeadlessJournal(std::FILE *out, ReportContents header, std::optional<ExpectedFrameCheck> expected)
    : m_out(out), m_report(std::move(header)), m_expected(std::move(expected))
{
    if (m_expected) {
        m_report.expectedFrame = m_expected->path;
        m_report.tolerance = m_expected->tolerance;
        m_report.maxDiffering = m_expected->maxDiffering;
    }
}

ReportEntry HeadlessJournal::reported(int round, const FrameRecord &record,
                                      std::chrono::system_clock::time_point end) const
{
    ReportEntry run;
    run.test = std::string(TestName(record.test));
    run.round = round;
    run.start = record.startedAt;
    run.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(end - record.startedAt).count();
    run.timings = record.timings;
    run.bytesReceived = record.test == TestKind::Driver ? record.driverBytesFilled : record.reply.size();
    run.pixelsDrawn = record.pixels.size();
    run.log = LogLines(record.logText);
    return run;
}

bool HeadlessJournal::runEnded(int round, const FrameRecord &record, std::chrono::system_clock::time_point end)
{
    ReportEntry run = reported(round, record, end);
    run.verdict = JudgeRun(record);
    if (m_expected) {
        run.mismatch = CompareFrames(record.pixels, m_expected->pixels, ShapeOf(record.test), m_expected->tolerance);
        JudgeAgainstExpected(run.verdict, *run.mismatch, static_cast<std::size_t>(m_expected->maxDiffering));
    }
    m_status.note(CauseOf(run.verdict));
    const std::string line = VerdictLine(run.test, round, m_report.rounds, run.verdict) + "\n";
    std::fputs(line.c_str(), m_out);
    std::fflush(m_out);
    const bool passed = run.verdict.passed();
    m_report.runs.push_back(std::move(run));
    return passed;
}

void HeadlessJournal::runStopped(int round, const FrameRecord &record, std::chrono::system_clock::time_point end)
{
    ReportEntry run = reported(round, record, end);
    run.stopped = true;
    m_report.runs.push_back(std::move(run));
}

void HeadlessJournal::fileSaved(const std::string &path)
{
    if (!m_report.runs.empty())
        m_report.runs.back().savedFiles.push_back(path);
}

void HeadlessJournal::noteStop(int signal)
{
    m_report.stoppedBy = SignalName(signal);
    m_report.exitStatus = 128 + signal;
}

std::string HeadlessJournal::stoppedLine(int signal) const
{
    std::size_t done = 0;
    for (const ReportEntry &run : m_report.runs)
        done += run.stopped ? 0 : 1;
    const std::size_t asked = m_report.tests.size() * static_cast<std::size_t>(m_report.rounds);
    return "camconsole: stopped by " + SignalName(signal) + " after " + std::to_string(done) + " of "
        + std::to_string(asked) + " run" + (asked == 1 ? "" : "s") + "\n";
}

void HeadlessJournal::writeReports(const std::string &jsonPath, const std::string &junitPath, std::FILE *err)
{
    // The JSON report records the exit status, so it is written last, once
    // the other report's failure to be written is counted in that status.
    std::string error;
    if (!junitPath.empty() && !WriteFileAtomically(junitPath, ReportJunit(m_report), &error))
        fileNotWritten(junitPath, error, err);
    if (jsonPath.empty())
        return;
    if (m_report.stoppedBy.empty())
        m_report.exitStatus = m_status.status();
    if (!WriteFileAtomically(jsonPath, ReportJson(m_report), &error))
        fileNotWritten(jsonPath, error, err);
}

void HeadlessJournal::fileNotWritten(const std::string &path, const std::string &reason, std::FILE *err)
{
    std::fprintf(err, "camconsole: cannot write file %s: %s\n", path.c_str(), reason.c_str());
    m_status.note(ExitCause::OutputFailed);
}
