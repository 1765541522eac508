#include "recorded_test.h"

#include "common/port_device.h"
#include "platform/event_pump.h"
#include "procedures/camera_tests.h"

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

} // namespace

RecordedTestResult RunRecordedTest(LastRuns &recorder, TestKind test, const ConsolePlatform &platform,
                                   const std::string &driverSource)
{
    const std::string source = test == TestKind::Driver ? driverSource : PortDevicePath(CameraTests::kCameraPort);
    Recording recorded(recorder, test, platform, source);
    CameraTests tests(recorded.platform(), &recorded.account());
    try {
        RunTest(tests, test);
    } catch (const TestCancelled &) {
        recorded.account().end = RunEnd::Cancelled;
        return { TestOutcome::Failed, true };
    }
    return { tests.lastOutcome(), false };
}
