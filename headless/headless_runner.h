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
    ReportContents reportHeader; // the console, port and driver and the tags, for the reports

    // The production line (cli/command_line.h says each).
    bool timestamps = false;
    std::string keepFailed; // the folder, empty: nothing kept
    std::string csv;
    bool waitForPort = false;
    std::optional<int> waitSeconds;
    int units = 0; // 0: one camera, no loop; kUnitsForever
    std::string unit;
};

// Runs the console's own test procedures without a window: the same tests,
// through the same platform seam and the same run records as the window,
// with the status log written to out as the window's log reads, the
// dialogs' texts written to err, a picture surface kept in an image and the
// same event processing (which also notices SIGINT and SIGTERM). After each
// run it prints a verdict line, keeps a failed run's files and rewrites the
// CSV table when asked; after more than one test or round (or camera) a
// summary; it saves the files and writes the reports asked for. With
// --units it runs the list on camera after camera, waiting at port 1 for
// each to be plugged in and then unplugged. Returns the exit status.
class HeadlessRunner {
public:
    // driverPath is where the driver library is loaded from (for the records).
    HeadlessRunner(SerialLink &com, CameraDriver &driver, std::string driverPath, std::FILE *out, std::FILE *err);

    int run(const HeadlessRequest &request);

    // Called after each complete round of the list, with its number from 1.
    std::function<void(int round)> afterRound;

private:
    // Keeps a failed run's reply, whole frame and log in the folder.
    void keepFailed(const FrameRecord &record, const std::string &folder, const std::string &version,
                    HeadlessJournal &journal);

    SerialLink &m_com;
    CameraDriver &m_driver;
    std::string m_driverPath;
    std::FILE *m_out;
    std::FILE *m_err;
};
