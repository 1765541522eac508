#include "frames/last_runs.h"

#include <cstddef>
#include <utility>

namespace {

std::size_t SlotOf(TestKind test)
{
    return static_cast<std::size_t>(test);
}

std::shared_ptr<FrameRecord> NewRecord(TestKind test, std::string source)
{
    auto record = std::make_shared<FrameRecord>();
    record->test = test;
    record->startedAt = std::chrono::system_clock::now();
    record->source = std::move(source);
    return record;
}

} // namespace

std::shared_ptr<const FrameRecord> LastRuns::last(TestKind test) const
{
    return m_last[SlotOf(test)];
}

void LastRuns::begin(TestKind test)
{
    m_running = test;
}

void LastRuns::keep(std::shared_ptr<const FrameRecord> record)
{
    m_running.reset();
    m_lastRun = record->test;
    m_last[SlotOf(record->test)] = std::move(record);
}

Recording::Recording(LastRuns &recorder, TestKind test, const ConsolePlatform &platform, std::string source)
    : m_recorder(recorder),
      m_record(NewRecord(test, std::move(source))),
      m_status(platform.status, *m_record),
      m_pic(platform.pic, *m_record),
      m_platform { m_status,         m_pic,           platform.com,    platform.sleeper, platform.ticks,
                   platform.seconds, platform.events, platform.errors, platform.driver,  platform.advisor }
{
    m_record->pixels.makeRoomForAFrame();
    m_recorder.begin(test);
}

Recording::~Recording()
{
    m_recorder.keep(std::move(m_record));
}
