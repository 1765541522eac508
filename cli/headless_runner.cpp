#include "headless_runner.h"

#include "command_line.h"
#include "common/port_device.h"
#include "console/camera_tests.h"
#include "console/image_surface.h"
#include "console/qt_event_pump.h"
#include "frames/frame_compare.h"
#include "frames/reply_file.h"
#include "frames/run_recorder.h"
#include "inspector/frame_image.h"
#include "platform/console_platform.h"
#include "platform/system_timing.h"
#include "run_summary.h"
#include "stop_signals.h"
#include "stream_error_reporter.h"
#include "stream_status_log.h"

#include <QImageWriter>

#include <algorithm>

namespace {

void RunTest(CameraTests &tests, TestKind test)
{
    switch (test) {
    case TestKind::Direct:
        tests.df_nomral_Click();
        break;
    case TestKind::Driver:
        tests.df_dll_Click();
        break;
    case TestKind::LineMode:
        tests.df_bin_Click();
        break;
    }
}

bool Contains(const std::vector<TestKind> &tests, TestKind test)
{
    return std::find(tests.begin(), tests.end(), test) != tests.end();
}

// Writes what --save-picture, --save-frame and --save-reply ask for, from
// the picture and the last run's record; a failure is reported on err.
class Saver {
public:
    explicit Saver(std::FILE *err) : m_err(err) {}

    void picture(const QImage &image, const std::string &path)
    {
        QImageWriter writer(QString::fromStdString(path), "png");
        if (!writer.write(image))
            failed(path, writer.errorString().toStdString());
    }

    void frame(const FrameRecord &record, const std::string &path)
    {
        QString error;
        if (!SaveFramePng(RenderFrame(record.pixels), QString::fromStdString(path), &error))
            failed(path, error.toStdString());
    }

    void reply(const FrameRecord &record, const std::string &path)
    {
        std::string error;
        if (!WriteReplyFile(path, record.reply, &error))
            failed(path, error);
    }

    bool allWritten() const { return m_allWritten; }

private:
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
    ImageSurface pic;
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
            TestOutcome outcome = TestOutcome::Failed;
            {
                const std::string source
                    = test == TestKind::Driver ? m_driverPath : PortDevicePath(CameraTests::kCameraPort);
                RecordedRun recorded(recorder, test, platform, source);
                CameraTests tests(recorded.platform());
                try {
                    RunTest(tests, test);
                    outcome = tests.lastOutcome();
                } catch (const TestCancelled &) {
                    interrupted = true; // the test closed its port on the way out
                }
            }
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
        saver.picture(pic.image(), request.savePicture);
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
