#pragma once

#include "frames/frame_record.h"
#include "frames/recorders.h"
#include "platform/console_platform.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

// Knows which test runs and keeps the record of the last run of each of the
// three tests (older ones are dropped). A run is recorded through a
// Recording around the test:
//
//   LastRuns recorder;
//   {
//       Recording run(recorder, TestKind::Direct, platform, PortDevicePath(1));
//       CameraTests(run.platform(), &run.account()).df_nomral_Click();
//   } // the record is kept here, however the test ended
//   std::shared_ptr<const FrameRecord> direct = recorder.last(TestKind::Direct);
class LastRuns {
public:
    // The test whose run is being recorded now, if any.
    std::optional<TestKind> running() const { return m_running; }
    // The record of the test's last finished run; null before the first.
    std::shared_ptr<const FrameRecord> last(TestKind test) const;
    // The test whose run ended last, if any has.
    std::optional<TestKind> lastRun() const { return m_lastRun; }

private:
    friend class Recording;
    void begin(TestKind test);
    void keep(std::shared_ptr<const FrameRecord> record);

    std::optional<TestKind> m_running;
    std::optional<TestKind> m_lastRun;
    std::array<std::shared_ptr<const FrameRecord>, kAllTests.size()> m_last;
};

// One recorded run: a new FrameRecord, whose account the test keeps, and a
// platform whose surface and log record into it while forwarding to the
// given ones. When the run object goes (the test ended, or left by an
// exception), the record is kept by the recorder as its test's last.
class Recording {
public:
    Recording(LastRuns &recorder, TestKind test, const ConsolePlatform &platform, std::string source);
    ~Recording();
    Recording(const Recording &) = delete;
    Recording &operator=(const Recording &) = delete;

    // The platform to run the test on.
    ConsolePlatform &platform() { return m_platform; }
    // The account for the test to keep.
    RunAccount &account() { return *m_record; }
    // The record as made so far.
    const FrameRecord &record() const { return *m_record; }

private:
    LastRuns &m_recorder;
    std::shared_ptr<FrameRecord> m_record;
    RecordingStatusLog m_status;
    RecordingPictureSurface m_pic;
    ConsolePlatform m_platform;
};
