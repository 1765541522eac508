#include "headless_runner.h"

#include "console/camera_tests.h"
#include "console/image_surface.h"
#include "console/qt_event_pump.h"
#include "platform/console_platform.h"
#include "platform/system_timing.h"
#include "run_summary.h"
#include "stop_signals.h"
#include "stream_error_reporter.h"
#include "stream_status_log.h"

#include <QImageWriter>

namespace {

void RunTest(CameraTests &tests, CameraTest test)
{
    switch (test) {
    case CameraTest::Normal:
        tests.df_nomral_Click();
        break;
    case CameraTest::Dll:
        tests.df_dll_Click();
        break;
    case CameraTest::Binary:
        tests.df_bin_Click();
        break;
    }
}

bool SavePng(const QImage &image, const std::string &path, std::FILE *err)
{
    QImageWriter writer(QString::fromStdString(path), "png");
    if (writer.write(image))
        return true;
    std::fprintf(err, "camconsole: cannot write %s: %s\n", path.c_str(), writer.errorString().toUtf8().constData());
    return false;
}

} // namespace

HeadlessRunner::HeadlessRunner(SerialLink &com, CameraDriver &driver, std::FILE *out, std::FILE *err)
    : m_com(com), m_driver(driver), m_out(out), m_err(err)
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
    ConsolePlatform platform { log, pic, m_com, sleeper, ticks, seconds, events, errors, m_driver };
    CameraTests tests(platform);

    RunSummary summary;
    for (CameraTest test : request.tests)
        summary.listTest(std::string(TestName(test)));
    bool failed = false;
    bool stopped = false;
    bool interrupted = false;
    for (int round = 1; round <= request.repeat && !interrupted; ++round) {
        for (CameraTest test : request.tests) {
            if (StopSignals::received()) {
                interrupted = true;
                break;
            }
            try {
                RunTest(tests, test);
            } catch (const TestCancelled &) {
                interrupted = true; // the test closed its port on the way out
            }
            log.end();
            if (interrupted)
                break;
            const TestOutcome outcome = tests.lastOutcome();
            failed = failed || outcome == TestOutcome::Failed;
            stopped = stopped || outcome == TestOutcome::Stopped;
            summary.add(std::string(TestName(test)), outcome == TestOutcome::Succeeded, log.text());
        }
        if (!interrupted && afterRound)
            afterRound(round);
    }

    // A signal that came during a stretch without event processing (the
    // driver test has none) is acted on here, when that test has ended.
    interrupted = interrupted || StopSignals::received() != 0;
    if (interrupted || request.repeat > 1 || request.tests.size() > 1) {
        std::fputs(("\n" + summary.text()).c_str(), m_out);
        std::fflush(m_out);
    }
    if (interrupted)
        return StopSignals::exitStatus(StopSignals::received());

    bool saved = true;
    if (!request.savePicture.empty())
        saved = SavePng(pic.image(), request.savePicture, m_err) && saved;

    if (stopped)
        return kStoppedByErrorStatus;
    if (failed || !saved)
        return kTestFailedStatus;
    return kAllSucceededStatus;
}
