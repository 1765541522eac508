#include "headless_runner.h"

#include "cli/command_line.h"
#include "frames/frame_compare.h"
#include "frames/recorded_test.h"
#include "frames/reply_file.h"
#include "image/png_writers.h"
#include "platform/console_library.h"
#include "platform/console_platform.h"
#include "platform/pixel_surface.h"
#include "platform/system_timing.h"
#include "qt_io/qt_event_pump.h"
#include "run_summary.h"
#include "stop_signals.h"
#include "stream_error_reporter.h"
#include "stream_status_log.h"

#include <algorithm>
#include <stdexcept>

namespace {

bool Contains(const std::vector<TestKind> &tests, TestKind test)
{
    return std::find(tests.begin(), tests.end(), test) != tests.end();
}

// Writes what --save-picture, --save-frame and --save-reply ask for, from
// the picture and the last run's record; a failure is reported on err. The
// PNG writers are loaded with the first PNG to write.
class Saver {
public:
    explicit Saver(std::FILE *err) : m_err(err) {}

    void picture(const PixelSurface &picture, const std::string &path)
    {
        std::string error;
        if (const PngWriters *writers = pngWriters(path); writers && !writers->picture(picture, path, error))
            failed(path, error);
    }

    void frame(const FrameRecord &record, const std::string &path)
    {
        std::string error;
        if (const PngWriters *writers = pngWriters(path); writers && !writers->frame(record.pixels, path, error))
            failed(path, error);
    }

    void reply(const FrameRecord &record, const std::string &path)
    {
        std::string error;
        if (!WriteReplyFile(path, record.reply, &error))
            failed(path, error);
    }

    bool allWritten() const { return m_allWritten; }

private:
    // The image layer's PNG writers, or null when its library can not be
    // loaded (reported as a failure to write path).
    const PngWriters *pngWriters(const std::string &path)
    {
        try {
            return reinterpret_cast<PngWriters const *(*)()>(ConsoleLibraryEntry(kImageLibrary, kPngWritersEntry))();
        } catch (const std::runtime_error &error) {
            failed(path, error.what());
            return nullptr;
        }
    }

    void failed(const std::string &path, const std::string &reason)
    {
        std::fprintf(m_err, "camconsole: cannot write %s: %s\n", path.c_str(), reason.c_str());
        m_allWritten = false;
    }

    std::FILE *m_err;
    bool m_allWritten = true;
};

} // namespace

HeadlessRunner::HeadlessRunner(SerialLink &com, CameraDriver &driver, std::string driverPath, std::FILE *out,
                               std::FILE *err)
    : m_com(com), m_driver(driver), m_driverPath(std::move(driverPath)), m_out(out), m_err(err)
{
}

int HeadlessRunner::run(const RunRequest &request)
{
    const StopSignals stopSignals;
    StreamStatusLog log(m_out);
    PixelSurface pic;
    ThreadSleeper sleeper;
    MonotonicTickClock ticks;
    LocalSecondsClock seconds;
    QtEventPump events([] { return StopSignals::received() != 0; });
    StreamErrorReporter errors(m_err);
    const ConsolePlatform platform { log, pic, m_com, sleeper, ticks, seconds, events, errors, m_driver };
    RunRecorder recorder;

    RunSummary summary;
    for (TestKind test : request.tests)
        summary.listTest(std::string(TestName(test)));
    bool failed = false;
    bool stopped = false;
    bool interrupted = false;
    for (int round = 1; round <= request.repeat && !interrupted; ++round) {
        for (TestKind test : request.tests) {
            if (StopSignals::received()) {
                interrupted = true;
                break;
            }
            const RecordedTestResult result = RunRecordedTest(recorder, test, platform, m_driverPath);
            const TestOutcome outcome = result.outcome;
            interrupted = result.cancelled; // the test closed its port on the way out
            log.end();
            if (interrupted)
                break;
            failed = failed || outcome == TestOutcome::Failed;
            stopped = stopped || outcome == TestOutcome::Stopped;
            summary.add(std::string(TestName(test)), outcome == TestOutcome::Succeeded, recorder.last(test)->timings);
        }
        if (!interrupted && afterRound)
            afterRound(round);
    }

    const auto direct = recorder.last(TestKind::Direct);
    const auto driver = recorder.last(TestKind::Driver);
    if (Contains(request.tests, TestKind::Direct) && Contains(request.tests, TestKind::Driver) && direct && driver)
        summary.setDifferingPixels(static_cast<std::int64_t>(CompareFrames(direct->pixels, driver->pixels).differing));

    // A signal that came during a stretch without event processing (the
    // driver test has none) is acted on here, when that test has ended.
    interrupted = interrupted || StopSignals::received() != 0;
    if (interrupted || request.repeat > 1 || request.tests.size() > 1) {
        std::fputc('\n', m_out);
        std::fputs(summary.text().c_str(), m_out);
        std::fflush(m_out);
    }
    if (interrupted)
        return StopSignals::exitStatus(StopSignals::received());

    Saver saver(m_err);
    if (!request.savePicture.empty())
        saver.picture(pic, request.savePicture);
    if (const auto last = request.tests.empty() ? nullptr : recorder.last(request.tests.back())) {
        if (!request.saveFrame.empty())
            saver.frame(*last, request.saveFrame);
        if (!request.saveReply.empty())
            saver.reply(*last, request.saveReply);
    }

    if (stopped)
        return kStoppedByErrorStatus;
    if (failed || !saver.allWritten())
        return kTestFailedStatus;
    return kAllSucceededStatus;
}
