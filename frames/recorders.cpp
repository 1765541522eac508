#include "frames/recorders.h"

void RecordingPictureSurface::clear()
{
    m_surface.clear();
    m_record.pixels.clear();
}

void RecordingPictureSurface::setPixel(std::int64_t x, std::int64_t y, ColorValue color)
{
    m_surface.setPixel(x, y, color);
    m_record.pixels.paint(x, y, color);
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
