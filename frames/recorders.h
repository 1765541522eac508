#pragma once

#include "frames/frame_record.h"
#include "platform/picture_surface.h"
#include "platform/status_log.h"

// Decorators of the platform seam that forward every call to the window's
// (or any) real object and keep what passes in a FrameRecord: the pixels
// drawn and the text logged. The test procedures run on them unchanged.

// Forwards to the surface and keeps every pixel painted, unclipped; a clear
// erases what was kept, as it erases the surface.
class RecordingPictureSurface final : public PictureSurface {
public:
    RecordingPictureSurface(PictureSurface &surface, FrameRecord &record) : m_surface(surface), m_record(record) {}

    void usePixelUnits() override { m_surface.usePixelUnits(); }
    void clear() override;
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override;

private:
    PictureSurface &m_surface;
    FrameRecord &m_record;
};

// Forwards to the log and keeps the text the test writes (what the user
// types into the log box is not part of it).
class RecordingStatusLog final : public StatusLog {
public:
    RecordingStatusLog(StatusLog &log, FrameRecord &record) : m_log(log), m_record(record) {}

    void reset(const std::string &message) override;
    void appendLine(const std::string &message) override;
    void appendText(const std::string &message) override;
    void repaintLog() override { m_log.repaintLog(); }
    void repaintWindow() override { m_log.repaintWindow(); }

private:
    StatusLog &m_log;
    FrameRecord &m_record;
};
