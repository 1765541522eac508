#include "frames/recorders.h"

#include "platform/timing.h"

#include <algorithm>

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
        m_sleptSinceRead = 0;
        m_record.requested = true;
        m_record.reply.clear();
        m_record.reads.clear();
        m_record.receptionEnd = ReceptionEnd::Unknown;
        m_record.sleptBeforeFirstReadMs = 0;
        m_record.linkError.clear();
    }
}

std::string RecordingSerialLink::input()
{
    std::string bytes;
    try {
        bytes = m_link.input();
    } catch (const LinkError &error) {
        noteLinkError(error);
        throw;
    }
    if (m_commandSentAt) {
        if (m_record.reads.empty())
            m_record.sleptBeforeFirstReadMs = m_sleptSinceRead;
        m_record.reads.push_back({ m_ticks.ticksMs() - *m_commandSentAt, bytes.size() });
        m_record.reply += bytes;
        m_record.receptionEnd = ReceptionEnd::Unknown;
        m_sleptSinceRead = 0;
    }
    return bytes;
}

int RecordingSerialLink::inBufferCount()
{
    int waiting = 0;
    try {
        waiting = m_link.inBufferCount();
    } catch (const LinkError &error) {
        noteLinkError(error);
        throw;
    }
    if (m_commandSentAt && !m_record.reads.empty()) {
        // The reception loop looks once a cycle; the look that ends it is its last.
        m_record.receptionEnd = waiting <= 0 ? ReceptionEnd::Pause : ReceptionEnd::SizeLimit;
        m_record.pauseMs = m_sleptSinceRead;
        m_record.bytesWaiting = std::max(0, waiting);
    }
    return waiting;
}

void RecordingSerialLink::noteSleep(int milliseconds)
{
    if (m_commandSentAt)
        m_sleptSinceRead += milliseconds;
}

void RecordingSerialLink::noteLinkError(const LinkError &error)
{
    if (!m_commandSentAt)
        return;
    m_record.receptionEnd = ReceptionEnd::LinkError;
    m_record.linkError = error.what();
}

void RecordingSleeper::sleepMs(int milliseconds)
{
    m_link.noteSleep(milliseconds);
    m_sleeper.sleepMs(milliseconds);
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
    m_record.driverResult = result;
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
