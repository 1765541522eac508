#pragma once

#include "driver/camera_driver.h"
#include "frames/frame_record.h"
#include "link/serial_link.h"
#include "platform/picture_surface.h"
#include "platform/status_log.h"
#include "platform/timing.h"

#include <optional>

// Decorators of the platform seam that forward every call to the window's
// (or any) real object and write what passes into a FrameRecord. The test
// procedures run on them unchanged.

// Forwards to the link. After an output of "DF\r" or "TW\r" it keeps every
// read until the next output: its time since that output and its bytes. The
// record's reply is the reads concatenated. It also notes how the reception
// ended: the last look at the bytes waiting after a read finds none (a
// pause) or some (the loop's size limit), or the link fails.
class RecordingSerialLink final : public SerialLink {
public:
    RecordingSerialLink(SerialLink &link, TickClock &ticks, FrameRecord &record);

    void setPortNumber(int port) override { m_link.setPortNumber(port); }
    void setReceiveBufferSize(int bytes) override { m_link.setReceiveBufferSize(bytes); }
    void setPortOpen(bool open) override;
    bool portOpen() const override { return m_link.portOpen(); }
    void setOutput(const std::string &bytes) override;
    std::string input() override;
    int inBufferCount() override;

    // A sleep of the test (see RecordingSleeper): after the command, the
    // sleeps since the last read are the pause a reception loop waited.
    void noteSleep(int milliseconds);

private:
    // Runs a call of the link, noting the first link error that passes and,
    // for a read after the command, that the reception ended by it.
    template <typename Call> auto noting(Call &&call, bool reading = false) -> decltype(call());

    SerialLink &m_link;
    TickClock &m_ticks;
    FrameRecord &m_record;
    std::optional<std::int64_t> m_commandSentAt;
    std::int64_t m_sleptSinceRead = 0;
};

// Forwards to the sleeper and tells the recording link of each sleep, so the
// record says how long the pause was that ended a reception.
class RecordingSleeper final : public Sleeper {
public:
    RecordingSleeper(Sleeper &sleeper, RecordingSerialLink &link) : m_sleeper(sleeper), m_link(link) {}

    void sleepMs(int milliseconds) override;

private:
    Sleeper &m_sleeper;
    RecordingSerialLink &m_link;
};

// Forwards to the surface and keeps every pixel painted, unclipped; a clear
// erases what was kept, as it erases the surface. A test sets the surface up
// (pixel units, clear) only to decode, so doing so after the request marks
// the record as decoded.
class RecordingPictureSurface final : public PictureSurface {
public:
    RecordingPictureSurface(PictureSurface &surface, FrameRecord &record) : m_surface(surface), m_record(record) {}

    void usePixelUnits() override;
    void clear() override;
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override;

private:
    PictureSurface &m_surface;
    FrameRecord &m_record;
};

// Forwards to the driver; keeps the frame buffer as CAM_DumpFrame left it
// and how long the call took.
class RecordingCameraDriver final : public CameraDriver {
public:
    RecordingCameraDriver(CameraDriver &driver, TickClock &ticks, FrameRecord &record);

    std::int32_t CAM_Init(const char *portName) override;
    std::int32_t CAM_Ping() override;
    std::int32_t CAM_DumpFrame(std::uint8_t *buffer) override;
    void CAM_ClosePort() override;
    std::optional<std::string> CAM_LastError() override;

private:
    // Runs a call of the library, noting the loader's text when it raises.
    template <typename Call> auto noting(Call &&call) -> decltype(call());

    CameraDriver &m_driver;
    TickClock &m_ticks;
    FrameRecord &m_record;
};

// Forwards to the clock and notes the tick clock at every reading.
class RecordingSecondsClock final : public SecondsClock {
public:
    RecordingSecondsClock(SecondsClock &clock, TickClock &ticks, FrameRecord &record)
        : m_clock(clock), m_ticks(ticks), m_record(record)
    {
    }
    SecondsReading now() override;

private:
    SecondsClock &m_clock;
    TickClock &m_ticks;
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
