#include "capture_open.h"

#include "frames/capture_file.h"
#include "headless_journal.h"
#include "run_setup.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// The captured log as a run without a window prints it: "\n" line ends.
void PrintLog(const std::string &logText)
{
    std::string lines;
    for (std::size_t i = 0; i < logText.size(); ++i) {
        if (logText[i] == '\r' && i + 1 < logText.size() && logText[i + 1] == '\n')
            continue;
        lines += logText[i];
    }
    if (!lines.empty() && lines.back() != '\n')
        lines += '\n';
    std::fputs(lines.c_str(), stdout);
}

} // namespace

int JudgeCaptures(const CommandLine &commandLine)
{
    std::vector<Capture> captures;
    CommandLine asRun = commandLine;
    for (const std::string &path : commandLine.captures) {
        std::string error;
        std::optional<Capture> capture = LoadCapture(path, &error);
        if (!capture) {
            std::fprintf(stderr, "camconsole: cannot open capture %s: %s\n", path.c_str(), error.c_str());
            return kUsageErrorStatus;
        }
        asRun.tests.push_back(capture->record.test);
        captures.push_back(std::move(*capture));
    }
    // The same checks as before a run of the captured tests.
    const bool lineMode = asRun.tests.front() == TestKind::LineMode;
    for (TestKind test : asRun.tests) {
        if ((test == TestKind::LineMode) != lineMode) {
            std::fputs(UsageErrorText("--expect-frame needs tests that draw the same kind of frame (normal and "
                                      "dll, or binary).")
                           .c_str(),
                       stderr);
            return kUsageErrorStatus;
        }
    }
    std::string problem;
    std::optional<ExpectedFrameCheck> expected = ExpectedFrameFor(asRun, &problem);
    if (!problem.empty()) {
        std::fputs(UsageErrorText(problem).c_str(), stderr);
        return kUsageErrorStatus;
    }

    ReportContents header;
    header.version = QCoreApplication::applicationVersion().toStdString();
    header.rounds = 1;
    HeadlessJournal journal(stdout, std::move(header), std::move(expected));
    for (const Capture &capture : captures) {
        PrintLog(capture.record.logText);
        journal.runEnded(1, capture.record, capture.record.startedAt);
    }
    return journal.status().status();
}
