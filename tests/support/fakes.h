#pragma once

#include "driver/camera_driver.h"
#include "link/serial_link.h"
#include "platform/error_report.h"
#include "platform/event_pump.h"
#include "platform/picture_surface.h"
#include "platform/port_advisor.h"
#include "platform/status_log.h"
#include "platform/timing.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// A byte string from byte values, for replies with markers and NULs.
inline std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

// A direct dump's reply: a frame start and one pixel before the first column
// start, then the given columns of one pixel each, and the end marker.
inline std::string OnePixelColumnsReply(int columns)
{
    std::string reply = "ACK\r" + Bytes({ 1, 9, 9, 9 });
    for (int column = 0; column < columns; ++column)
        reply += Bytes({ 2, 10 + column, 20, 30 });
    return reply + Bytes({ 3 });
}

// A log text split at CR LF; a last line without CR LF is included.
std::vector<std::string> SplitLogLines(const std::string &text);

// A status log that keeps its text in memory, counts log repaints and
// records where the window was repainted.
class FakeStatusLog final : public StatusLog {
public:
    void reset(const std::string &message) override { text = message + "\r\n"; }
    void appendLine(const std::string &message) override { text += message + "\r\n"; }
    void appendText(const std::string &message) override { text += message; }
    void repaintLog() override { ++logRepaints; }
    void repaintWindow() override;

    std::vector<std::string> lines() const { return SplitLogLines(text); }

    std::string text;
    int logRepaints = 0;
    // The log's last line at each window repaint.
    std::vector<std::string> windowRepaintsAfter;
};

// A picture surface that records every call and keeps the visible pixels.
class RecordingSurface final : public PictureSurface {
public:
    static constexpr ColorValue kBackground = 0xFFFFFFFFu; // never a color value

    struct Pixel {
        std::int64_t x;
        std::int64_t y;
        ColorValue color;
        bool operator==(const Pixel &) const = default;
    };

    RecordingSurface() { pixels.fill(kBackground); }

    void usePixelUnits() override
    {
        pixelUnits = true;
        ++unitSwitches;
    }
    void clear() override
    {
        pixels.fill(kBackground);
        ++clears;
    }
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override;

    ColorValue at(int x, int y) const { return pixels[static_cast<std::size_t>(y * kWidth + x)]; }
    bool untouched() const { return clears == 0 && calls.empty(); }

    bool pixelUnits = false;
    int unitSwitches = 0;
    int clears = 0;
    std::vector<Pixel> calls;
    std::array<ColorValue, kWidth * kHeight> pixels;
};

// Virtual time: sleeping advances the tick count and the seconds clock
// instead of waiting.
class FakeTime final : public Sleeper, public TickClock, public SecondsClock {
public:
    void sleepMs(int milliseconds) override;
    std::int64_t ticksMs() override { return nowMs; }
    SecondsReading now() override;

    // Called after every sleep with the virtual time reached.
    std::function<void(std::int64_t)> onSleep;

    std::int64_t nowMs = 1'000'000;
    std::int64_t sleptMs = 0;
    std::vector<int> sleeps;
};

// Counts event-processing points; optionally runs a hook at each.
class FakeEventPump final : public EventPump {
public:
    void processPending() override
    {
        ++calls;
        if (hook)
            hook();
    }
    int calls = 0;
    std::function<void()> hook;
};

class FakeErrorReporter final : public ErrorReporter {
public:
    void showError(const std::string &text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Gives the same advice for every device and notes the devices asked about.
class FakePortAdvisor final : public PortAdvisor {
public:
    std::vector<std::string> adviceFor(const std::string &device) override
    {
        asked.push_back(device);
        return advice;
    }
    std::vector<std::string> advice;
    std::vector<std::string> asked;
};

// A serial link whose received bytes are scripted by the test. On a link
// built on a FakeTime, the reply to a command arrives in virtual time, 1 ms
// after the command is written: a read before any wait finds nothing, a
// read after a wait finds the reply. Without a FakeTime (a window on real
// timing), replies arrive as the command is written.
class FakeSerialLink final : public SerialLink {
public:
    FakeSerialLink() = default;
    explicit FakeSerialLink(const FakeTime &time) : m_time(&time) {}

    void setPortNumber(int port) override;
    void setReceiveBufferSize(int bytes) override;
    void setPortOpen(bool open) override;
    bool portOpen() const override { return open; }
    void setOutput(const std::string &bytes) override;
    std::string input() override;
    int inBufferCount() override;

    // Makes bytes received now.
    void receive(const std::string &bytes) { received += bytes; }
    // Answers the next command written with reply (queued in order).
    void answerNext(const std::string &reply) { replies.push_back(reply); }

    int portNumber = 0;
    int receiveBufferSize = 0;
    bool open = false;
    int opens = 0;
    int closes = 0;
    std::string received;
    std::vector<std::string> written;
    std::deque<std::string> replies;

    // Failure injection: the next operation of that kind raises LinkError.
    std::optional<LinkError> failOpen;
    std::optional<LinkError> failOutput;
    std::optional<LinkError> failInput;

private:
    struct InFlight {
        std::int64_t arrivesAtMs;
        std::string bytes;
    };
    // Moves the replies whose moment has come to the received bytes.
    void deliverArrived();

    const FakeTime *m_time = nullptr;
    std::deque<InFlight> m_inFlight;
};

// A driver whose entries are scripted by the test.
class FakeCameraDriver final : public CameraDriver {
public:
    std::int32_t CAM_Init(const char *portName) override;
    std::int32_t CAM_Ping() override;
    std::int32_t CAM_DumpFrame(std::uint8_t *buffer) override;
    void CAM_ClosePort() override;
    std::optional<std::string> CAM_LastError() override;

    std::int32_t initResult = 1;
    std::int32_t pingResult = 1;
    std::int32_t dumpResult = 1;
    std::string dumpBytes; // written from index 0
    std::vector<std::string> calls;
    std::optional<std::string> missingEntry; // raises DriverError when called
    std::function<void()> duringDump;
    // CAM_LastError's text; nullopt: the library lacks the entry.
    std::optional<std::string> lastError;
};
