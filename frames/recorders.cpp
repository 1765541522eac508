#include "frames/recorders.h"

#include "platform/timing.h"

RecordingSerialLink::RecordingSerialLink(SerialLink &link, TickClock &ticks, FrameRecord &record)
    : m_link(link), m_ticks(ticks), m_record(record)
{
}

void RecordingSerialLink::setOutput(const std::string &bytes)
{
    m_commandSentAt.reset();
    m_link.setOutput(bytes);
    if (bytes == "DF\r" || bytes == "TW\r") {
        m_commandSentAt = m_ticks.ticksMs();
        m_record.requested = true;
        m_record.reply.clear();
        m_record.reads.clear();
    }
}

std::string RecordingSerialLink::input()
{
    std::string bytes = m_link.input();
    if (m_commandSentAt) {
        m_record.reads.push_back({ m_ticks.ticksMs() - *m_commandSentAt, bytes.size() });
        m_record.reply += bytes;
    }
    return bytes;
}

void RecordingPictureSurface::usePixelUnits()
{
    m_surface.usePixelUnits();
    if (m_record.requested)
        m_record.decoded = true;
}

void RecordingPictureSurface::clear()
{
    m_surface.clear();
    m_record.pixels.clear();
    if (m_record.requested)
        m_record.decoded = true;
}

void RecordingPictureSurface::setPixel(std::int64_t x, std::int64_t y, ColorValue color)
{
    m_surface.setPixel(x, y, color);
    m_record.pixels.paint(x, y, color);
}

RecordingCameraDriver::RecordingCameraDriver(CameraDriver &driver, TickClock &ticks, FrameRecord &record)
    : m_driver(driver), m_ticks(ticks), m_record(record)
{
}

std::int32_t RecordingCameraDriver::CAM_DumpFrame(std::uint8_t *buffer)
{
    const std::int64_t before = m_ticks.ticksMs();
    const std::int32_t result = m_driver.CAM_DumpFrame(buffer);
    m_record.driverCallMs = m_ticks.ticksMs() - before;
    m_record.requested = true;
    m_record.reply.assign(reinterpret_cast<const char *>(buffer), kFrameBufferSize);
    return result;
}

void RecordingStatusLog::reset(const std::string &message)
{
    m_log.reset(message);
    m_record.logText = message + "\r\n";
}

void RecordingStatusLog::appendLine(const std::string &message)
{
    m_log.appendLine(message);
    m_record.logText += message + "\r\n";
}

void RecordingStatusLog::appendText(const std::string &message)
{
    m_log.appendText(message);
    m_record.logText += message;
}
