#include "headless_runner.h"

#include "cli/command_line.h"
#include "frames/atomic_file.h"
#include "frames/capture_file.h"
#include "frames/frame_compare.h"
#include "frames/recorded_test.h"
#include "image/png_writers.h"
#include "kept_run.h"
#include "platform/console_platform.h"
#include "platform/pixel_surface.h"
#include "platform/system_timing.h"
#include "png_library.h"
#include "port_wait.h"
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

void Print(std::FILE *out, const std::string &text)
{
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

// "(2 of 3)" in a loop of three cameras, "(2)" in one without end, "" with no loop.
std::string UnitCount(int number, int units)
{
    if (units == 0)
        return {};
    return "(" + std::to_string(number) + (units == kUnitsForever ? "" : " of " + std::to_string(units)) + ")";
}

// The camera now at port 1: its name (--unit, else its USB adapter's serial
// number, else its number in the loop) and its adapter.
ReportedUnit IdentifyUnit(const HeadlessRequest &request, int number)
{
    ReportedUnit unit;
    unit.number = number;
    unit.start = std::chrono::system_clock::now();
    if (const std::optional<PortFacts::Usb> usb = UsbAdapterOf(request.reportHeader.port)) {
        unit.usbId = usb->vendorId + ":" + usb->productId;
        unit.usbSerialNumber = usb->serialNumber;
    }
    if (!request.unit.empty()) {
        unit.id = request.unit;
        unit.idSource = "from --unit";
    } else if (!unit.usbSerialNumber.empty()) {
        unit.id = unit.usbSerialNumber;
        unit.idSource = "USB serial number";
    } else {
        unit.id = std::to_string(number);
        unit.idSource = "unit number";
    }
    return unit;
}

std::string Indented(const std::string &text)
{
    std::string indented;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        indented += "  " + text.substr(start, next - start);
        start = next;
    }
    return indented;
}

} // namespace

HeadlessRunner::HeadlessRunner(SerialLink &com, CameraDriver &driver, std::string driverPath, std::FILE *out,
                               std::FILE *err)
    : m_com(com), m_driver(driver), m_driverPath(std::move(driverPath)), m_out(out), m_err(err)
{
}

int HeadlessRunner::run(const HeadlessRequest &request)
{
    const StopSignals stopSignals;
    StreamStatusLog log(m_out, request.timestamps);
    PixelSurface pic;
    ThreadSleeper sleeper;
    MonotonicTickClock ticks;
    LocalSecondsClock seconds;
    QtEventPump events([] { return StopSignals::received() != 0; });
    StreamErrorReporter errors(m_err);
    SystemPortAdvisor advisor;
    const ConsolePlatform platform { log, pic, m_com, sleeper, ticks, seconds, events, errors, m_driver, advisor };
    LastRuns recorder;

    ReportContents header = request.reportHeader;
    header.rounds = request.repeat;
    for (TestKind test : request.tests)
        header.tests.emplace_back(TestName(test));
    header.unitLoop = request.units != 0;
    HeadlessJournal journal(m_out, std::move(header), request.expectedFrame);
    const std::string &port = request.reportHeader.port;
    const auto stopped = [] { return StopSignals::received() != 0; };
    std::optional<std::chrono::milliseconds> waitLimit;
    if (request.waitSeconds)
        waitLimit = std::chrono::seconds(*request.waitSeconds);

    // A summary per camera, under its name when there is a loop of them.
    std::vector<std::pair<std::string, SummaryTable>> summaries;
    bool interrupted = false;
    const int units = request.units == 0 ? 1 : request.units;
    for (int number = 1; !interrupted && (units == kUnitsForever || number <= units); ++number) {
        // A wait that runs out runs the tests all the same: they meet the
        // missing port as they would without waiting, and the loop ends.
        bool timedOut = false;
        if (request.waitForPort || request.units != 0) {
            if (!PortPresent(port))
                Print(m_out, "camconsole: waiting for a camera at " + port + "\n");
            const PortWaitEnd waited = WaitForPort(port, true, waitLimit, stopped);
            if (waited == PortWaitEnd::Stopped) {
                interrupted = true;
                break;
            }
            timedOut = waited == PortWaitEnd::TimedOut;
        }
        ReportedUnit unit = IdentifyUnit(request, number);
        const auto unitStart = unit.start;
        const std::string unitName = unit.id + " " + UnitCount(number, request.units);
        if (request.units != 0)
            Print(m_out, "camconsole: unit " + unitName + "\n");
        const std::string unitId = unit.id;
        journal.startUnit(std::move(unit));
        SummaryTable &summary = summaries.emplace_back(unitName, SummaryTable()).second;
        for (TestKind test : request.tests)
            summary.listTest(std::string(TestName(test)));

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
                } else {
                    const bool passed = journal.runEnded(round, *record, std::chrono::system_clock::now());
                    summary.add(std::string(TestName(test)), passed, record->timings);
                    if (!passed && !request.keepFailed.empty())
                        keepFailed(*record, request.keepFailed, request.reportHeader.version, journal);
                }
                if (!request.csv.empty())
                    journal.writeCsv(request.csv, m_err);
                if (interrupted)
                    break;
            }
            if (!interrupted && afterRound)
                afterRound(round);
        }

        // The last frames of this camera only, never one of the camera before.
        const auto direct = recorder.last(TestKind::Direct);
        const auto driver = recorder.last(TestKind::Driver);
        if (Contains(request.tests, TestKind::Direct) && Contains(request.tests, TestKind::Driver) && direct && driver
            && direct->startedAt >= unitStart && driver->startedAt >= unitStart)
            summary.setComparison(CompareFrames(direct->pixels, driver->pixels, CameraPixelShape::TwoWide));

        // A signal that came during a stretch without event processing (the
        // driver test has none) is acted on here, when that test has ended.
        interrupted = interrupted || StopSignals::received() != 0;
        if (interrupted || timedOut || number == units)
            break;
        Print(m_out, "camconsole: unit " + unitId + " done, waiting until it is unplugged\n");
        if (WaitForPort(port, false, std::nullopt, stopped) == PortWaitEnd::Stopped)
            interrupted = true;
    }

    interrupted = interrupted || StopSignals::received() != 0;
    if (interrupted || request.repeat > 1 || request.tests.size() > 1 || request.units != 0) {
        std::fputc('\n', m_out);
        if (request.units == 0 || summaries.empty()) {
            SummaryTable none;
            for (TestKind test : request.tests)
                none.listTest(std::string(TestName(test)));
            std::fputs((summaries.empty() ? none : summaries.front().second).text().c_str(), m_out);
        } else {
            for (const auto &[name, summary] : summaries)
                std::fputs(("Unit " + name + ":\n" + Indented(summary.text())).c_str(), m_out);
        }
    }
    if (interrupted) {
        journal.noteStop(StopSignals::received());
        std::fputs(journal.stoppedLine(StopSignals::received(), units).c_str(), m_out);
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
    if (!request.csv.empty())
        journal.writeCsv(request.csv, m_err);
    journal.writeReports(request.report, request.junit, m_err);

    if (interrupted)
        return StopSignals::exitStatus(StopSignals::received());
    return journal.status().status();
}

void HeadlessRunner::keepFailed(const FrameRecord &record, const std::string &folder, const std::string &version,
                                HeadlessJournal &journal)
{
    const ReportEntry &run = journal.lastRun();
    KeptRun kept;
    kept.add(".bin", record.reply);
    // A run that drew nothing (the port was missing, say) has no frame to keep.
    if (!record.pixels.empty())
        kept.add(".png", [&record](const std::string &path, std::string &error) {
            const PngWriters *writers = LoadPngWriters(error);
            return writers && writers->frame(record.pixels, path, error);
        });
    kept.add(".log", run.log + VerdictLine(run.test, run.round, journal.rounds(), run.verdict) + "\n");
    // The run whole, for the inspector's Open... and camsim --replay.
    kept.add(".camrun", [&record, &version](const std::string &path, std::string &error) {
        return SaveCapture(path, record, version, &error);
    });
    const KeptRun::Written written = kept.write(folder, KeptRunName(run.unit, run.test, run.round, run.start));
    for (const auto &[path, reason] : written.failed)
        journal.fileNotWritten(path, reason, m_err);
    journal.filesKept(written.files);
}
