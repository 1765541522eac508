// Feeds arbitrary bytes to the line-mode bitmap walk as a reply text and
// checks what it draws: pixel pairs at (x, y) and (x, y + 1) with x in 0..79,
// y even, colors only blue or black, and at most one log line. The first two
// bytes also go to GetBinary as a signed 16-bit value.
#include "decode/line_mode_bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class CheckingSurface final : public PictureSurface {
public:
    void usePixelUnits() override { ++unitSwitches; }
    void clear() override { std::abort(); }
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override
    {
        if (x < 0 || x >= 80 || y < 0 || (color != kBlue && color != kBlack))
            std::abort();
        if (upperPending) {
            if (x != lastX || y != lastY + 1 || color != lastColor)
                std::abort();
        } else if (y % 2 != 0) {
            std::abort();
        }
        upperPending = !upperPending;
        lastX = x;
        lastY = y;
        lastColor = color;
    }
    int unitSwitches = 0;
    bool upperPending = false;
    std::int64_t lastX = 0;
    std::int64_t lastY = 0;
    ColorValue lastColor = 0;
};

class CheckingLog final : public StatusLog {
public:
    void reset(const std::string &) override { std::abort(); }
    void appendLine(const std::string &message) override
    {
        if (message.rfind("Time to display frame: ", 0) != 0 || ++lines > 1)
            std::abort();
    }
    void appendText(const std::string &) override { std::abort(); }
    void repaintLog() override { std::abort(); }
    void repaintWindow() override { std::abort(); }
    int lines = 0;
};

class TickingClock final : public SecondsClock {
public:
    SecondsReading now() override { return { 0, seconds++ }; }
    std::int32_t seconds = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size >= 2) {
        const auto value = static_cast<std::int16_t>(static_cast<std::uint16_t>(data[0] | (data[1] << 8)));
        const std::string bits = GetBinary(value);
        if (value < 0 || value > 255) {
            if (!bits.empty())
                std::abort();
        } else {
            int back = 0;
            for (char c : bits)
                back = back * 2 + (c - '0');
            if (bits.size() != 8 || back != value)
                std::abort();
        }
    }

    const std::string_view reply(reinterpret_cast<const char *>(data), size);
    CheckingSurface pic;
    CheckingLog log;
    TickingClock clock;
    DrawLineModeBitmap(reply, pic, log, clock);
    if (pic.unitSwitches != 1 || pic.upperPending)
        std::abort();
    if ((log.lines == 1) != (reply.find("ACK") != std::string_view::npos))
        std::abort();
    return 0;
}
