#include "frames/recorders.h"

#include "platform/timing.h"

#include <algorithm>

RecordingSerialLink::RecordingSerialLink(SerialLink &link, TickClock &ticks, FrameRecord &record)
    : m_link(link), m_ticks(ticks), m_record(record)
{
}

template <typename Call> auto RecordingSerialLink::noting(Call &&call, bool reading) -> decltype(call())
{
    try {
        return call();
    } catch (const LinkError &error) {
        if (!m_record.linkFault)
            m_record.linkFault = FrameRecord::LinkFault { error.cause(), error.what(), m_record.portOpened };
        if (reading && m_commandSentAt)
            m_record.receptionEnd = ReceptionEnd::LinkError;
        throw;
    }
}

void RecordingSerialLink::setPortOpen(bool open)
{
    noting([&] { m_link.setPortOpen(open); });
    if (open)
        m_record.portOpened = true;
}

void RecordingSerialLink::setOutput(const std::string &bytes)
{
    m_commandSentAt.reset();
    noting([&] { m_link.setOutput(bytes); });
    if (bytes == "DF\r" || bytes == "TW\r") {
        m_commandSentAt = m_ticks.ticksMs();
        m_sleptSinceRead = 0;
        m_record.requested = true;
        m_record.reply.clear();
        m_record.reads.clear();
        m_record.receptionEnd = ReceptionEnd::Unknown;
        m_record.sleptBeforeFirstReadMs = 0;
    }
}

std::string RecordingSerialLink::input()
{
    std::string bytes = noting([&] { return m_link.input(); }, true);
    m_record.bytesReceived += bytes.size();
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
    const int waiting = noting([&] { return m_link.inBufferCount(); }, true);
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

template <typename Call> auto RecordingCameraDriver::noting(Call &&call) -> decltype(call())
{
    try {
        return call();
    } catch (const DriverError &error) {
        if (m_record.driverLoadError.empty())
            m_record.driverLoadError = error.what();
        throw;
    }
}

std::int32_t RecordingCameraDriver::CAM_Init(const char *portName)
{
    const std::int32_t result = noting([&] { return m_driver.CAM_Init(portName); });
    m_record.driverInitResult = result;
    return result;
}

std::int32_t RecordingCameraDriver::CAM_Ping()
{
    return noting([&] { return m_driver.CAM_Ping(); });
}

void RecordingCameraDriver::CAM_ClosePort()
{
    noting([&] { m_driver.CAM_ClosePort(); });
}

std::optional<std::string> RecordingCameraDriver::CAM_LastError()
{
    std::optional<std::string> text = m_driver.CAM_LastError();
    if (text && m_record.driverErrorText.empty())
        m_record.driverErrorText = *text;
    return text;
}

SecondsReading RecordingSecondsClock::now()
{
    const SecondsReading reading = m_clock.now();
    m_record.secondsReadAtMs.push_back(m_ticks.ticksMs());
    return reading;
}

std::int32_t RecordingCameraDriver::CAM_DumpFrame(std::uint8_t *buffer)
{
    const std::int64_t before = m_ticks.ticksMs();
    const std::int32_t result = noting([&] { return m_driver.CAM_DumpFrame(buffer); });
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
