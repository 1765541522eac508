// Feeds arbitrary bytes to the stream frame-dump decoder as a reply text.
// libFuzzer hands over an exactly sized buffer, so AddressSanitizer catches
// any read past the reply's end; the surface checks that coordinates never
// go negative.
#include "decode/frame_dump_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

class CheckingSurface final : public PictureSurface {
public:
    void usePixelUnits() override { std::abort(); } // the caller's job
    void clear() override { std::abort(); } // the stream variant never clears
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override
    {
        if (x < 0 || y < 0 || color > 0xFFFFFFu)
            std::abort();
    }
};

class CountingPump final : public EventPump {
public:
    void processPending() override { ++calls; }
    std::size_t calls = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    CheckingSurface pic;
    CountingPump events;
    DecodeFrameStream(std::string_view(reinterpret_cast<const char *>(data), size), pic, events);
    // Every step covers at least one byte and none starts at the last one.
    if (size > 0 && events.calls > size - 1)
        std::abort();
    return 0;
}
