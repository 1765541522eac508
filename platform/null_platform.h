#pragma once

#include "event_pump.h"
#include "picture_surface.h"
#include "status_log.h"
#include "timing.h"

#include <cstdint>
#include <string>

// Platform parts that do nothing, for running a decoder away from the
// window: to replay a recorded reply, or to time the decoder alone.

class NullSurface final : public PictureSurface {
public:
    void usePixelUnits() override {}
    void clear() override {}
    void setPixel(std::int64_t, std::int64_t, ColorValue) override {}
};

class NullPump final : public EventPump {
public:
    void processPending() override {}
};

class NullLog final : public StatusLog {
public:
    void reset(const std::string &) override {}
    void appendLine(const std::string &) override {}
    void appendText(const std::string &) override {}
    void repaintLog() override {}
    void repaintWindow() override {}
};

// Always midnight: drawing times come out as 0.
class NullClock final : public SecondsClock {
public:
    SecondsReading now() override { return {}; }
};
