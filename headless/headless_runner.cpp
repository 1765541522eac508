#include "headless_runner.h"

#include "cli/command_line.h"
#include "frames/atomic_file.h"
#include "frames/capture_file.h"
#include "frames/frame_compare.h"
#include "frames/recorded_test.h"
#include "image/png_writers.h"
#include "platform/console_platform.h"
#include "platform/pixel_surface.h"
#include "platform/system_timing.h"
#include "png_library.h"
#include "qt_io/port_inspection.h"
#include "qt_io/qt_event_pump.h"
#include "stop_signals.h"
#include "stream_error_reporter.h"
#include "stream_status_log.h"
#include "summary_table.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool Contains(const std::vector<TestKind> &tests, TestKind test)
{
    return std::find(tests.begin(), tests.end(), test) != tests.end();
}

// Writes what --save-picture, --save-frame and --save-reply ask for, from
// the picture and the last run's record, each file atomically; a failure is
// reported on err and noted as an output failure, a file written is listed
// in the reports. The PNG writers are loaded with the first PNG to write.
class Saver {
public:
    Saver(std::FILE *err, HeadlessJournal &journal) : m_err(err), m_journal(journal) {}

    void picture(const PixelSurface &picture, const std::string &path)
    {
        std::string error;
        const PngWriters *writers = LoadPngWriters(error);
        done(path, writers && writers->picture(picture, path, error), error);
    }

    void frame(const FrameRecord &record, const std::string &path)
    {
        std::string error;
        const PngWriters *writers = LoadPngWriters(error);
        done(path, writers && writers->frame(record.pixels, path, error), error);
    }

    void reply(const FrameRecord &record, const std::string &path)
    {
        std::string error;
        done(path, WriteFileAtomically(path, record.reply, &error), error);
    }

    void capture(const FrameRecord &record, const std::string &path, const std::string &version)
    {
        std::string error;
        done(path, SaveCapture(path, record, version, &error), error);
    }

private:
    void done(const std::string &path, bool written, const std::string &reason)
    {
        if (written) {
            m_journal.fileSaved(path);
            return;
        }
        m_journal.fileNotWritten(path, reason, m_err);
    }

    std::FILE *m_err;
    HeadlessJournal &m_journal;
};

} // namespace

HeadlessRunner::HeadlessRunner(SerialLink &com, CameraDriver &driver, std::string driverPath, std::FILE *out,
                               std::FILE *err)
    : m_com(com), m_driver(driver), m_driverPath(std::move(driverPath)), m_out(out), m_err(err)
{
}

int HeadlessRunner::run(const HeadlessRequest &request)
{
    const StopSignals stopSignals;
    StreamStatusLog log(m_out);
    PixelSurface pic;
    ThreadSleeper sleeper;
    MonotonicTickClock ticks;
    LocalSecondsClock seconds;
    QtEventPump events([] { return StopSignals::received() != 0; });
    StreamErrorReporter errors(m_err);
    SystemPortAdvisor advisor;
    const ConsolePlatform platform { log, pic, m_com, sleeper, ticks, seconds, events, errors, m_driver, advisor };
    LastRuns recorder;

    SummaryTable summary;
    for (TestKind test : request.tests)
        summary.listTest(std::string(TestName(test)));
    ReportContents header = request.reportHeader;
    header.rounds = request.repeat;
    for (TestKind test : request.tests)
        header.tests.emplace_back(TestName(test));
    HeadlessJournal journal(m_out, std::move(header), request.expectedFrame);
    bool interrupted = false;
    for (int round = 1; round <= request.repeat && !interrupted; ++round) {
        for (TestKind test : request.tests) {
            if (StopSignals::received()) {
                interrupted = true;
                break;
            }
            const RecordedTestResult result = RunRecordedTest(recorder, test, platform, m_driverPath);
            interrupted = result.cancelled; // the test closed its port on the way out
            log.end();
            const auto record = recorder.last(test);
            if (interrupted) {
                journal.runStopped(round, *record, std::chrono::system_clock::now());
                summary.addStopped(std::string(TestName(test)));
                break;
            }
            const bool passed = journal.runEnded(round, *record, std::chrono::system_clock::now());
            summary.add(std::string(TestName(test)), passed, record->timings);
        }
        if (!interrupted && afterRound)
            afterRound(round);
    }

    const auto direct = recorder.last(TestKind::Direct);
    const auto driver = recorder.last(TestKind::Driver);
    if (Contains(request.tests, TestKind::Direct) && Contains(request.tests, TestKind::Driver) && direct && driver)
        summary.setComparison(CompareFrames(direct->pixels, driver->pixels, CameraPixelShape::TwoWide));

    // A signal that came during a stretch without event processing (the
    // driver test has none) is acted on here, when that test has ended.
    interrupted = interrupted || StopSignals::received() != 0;
    if (interrupted || request.repeat > 1 || request.tests.size() > 1) {
        std::fputc('\n', m_out);
        std::fputs(summary.text().c_str(), m_out);
    }
    if (interrupted) {
        journal.noteStop(StopSignals::received());
        std::fputs(journal.stoppedLine(StopSignals::received()).c_str(), m_out);
    } else {
        Saver saver(m_err, journal);
        if (!request.savePicture.empty())
            saver.picture(pic, request.savePicture);
        if (const auto last = request.tests.empty() ? nullptr : recorder.last(request.tests.back())) {
            if (!request.saveFrame.empty())
                saver.frame(*last, request.saveFrame);
            if (!request.saveReply.empty())
                saver.reply(*last, request.saveReply);
            if (!request.saveRun.empty())
                saver.capture(*last, request.saveRun, request.reportHeader.version);
        }
    }
    // Output that could not be written (a full disk, a closed terminal)
    // fails the run like any other file.
    if (std::fflush(m_out) != 0 || std::ferror(m_out)) {
        const int error = errno;
        std::fprintf(m_err, "camconsole: cannot write standard output: %s\n", std::strerror(error != 0 ? error : EIO));
        journal.note(ExitCause::OutputFailed);
    }
    journal.writeReports(request.report, request.junit, m_err);

    if (interrupted)
        return StopSignals::exitStatus(StopSignals::received());
    return journal.status().status();
}
