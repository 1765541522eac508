#pragma once

#include "frames/frame_record.h"
#include "headless/headless_journal.h"
#include "headless/reports.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CameraDriver;
class SerialLink;

// What a run without a window does: the tests in order, the list repeated,
// and what to save after the last run.
struct HeadlessRequest {
    std::vector<TestKind> tests;
    int repeat = 1;
    std::string savePicture;
    std::string saveFrame;
    std::string saveReply;
    std::string saveRun; // --save-run: the last run as a capture
    std::optional<ExpectedFrameCheck> expectedFrame; // --expect-frame
    std::string report; // --report FILE (empty: not asked for)
    std::string junit; // --junit FILE
    ReportContents reportHeader; // the console, port and driver, for the reports
};

// Runs the console's own test procedures without a window: the same tests,
// through the same platform seam and the same run records as the window,
// with the status log written to out as the window's log reads, the
// dialogs' texts written to err, a picture surface kept in an image and the
// same event processing (which also notices SIGINT and SIGTERM). After each
// run it prints a verdict line, after more than one test or round a
// summary; it saves the files and writes the reports asked for. Returns the
// exit status.
class HeadlessRunner {
public:
    // driverPath is where the driver library is loaded from (for the records).
    HeadlessRunner(SerialLink &com, CameraDriver &driver, std::string driverPath, std::FILE *out, std::FILE *err);

    int run(const HeadlessRequest &request);

    // Called after each complete round of the list, with its number from 1.
    std::function<void(int round)> afterRound;

private:
    SerialLink &m_com;
    CameraDriver &m_driver;
    std::string m_driverPath;
    std::FILE *m_out;
    std::FILE *m_err;
};
