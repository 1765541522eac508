// Copies arbitrary bytes into a fresh, zeroed frame buffer of exactly the
// driver's size (from index 0, as the driver library writes it) and decodes
// it with the buffer variant; AddressSanitizer catches any read outside the
// buffer. The log may receive "Image Dump Complete" once and nothing else.
#include "decode/frame_dump_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

namespace {

class CheckingSurface final : public PictureSurface {
public:
    void usePixelUnits() override { std::abort(); } // the caller's job
    void clear() override {}
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override
    {
        if (x < 0 || y < 0 || color > 0xFFFFFFu)
            std::abort();
    }
};

class CheckingLog final : public StatusLog {
public:
    void reset(const std::string &) override { std::abort(); }
    void appendLine(const std::string &) override { std::abort(); }
    void appendText(const std::string &message) override
    {
        if (message != "Image Dump Complete" || ++completions > 1)
            std::abort();
    }
    void repaintLog() override { std::abort(); }
    void repaintWindow() override { std::abort(); }
    int completions = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kFrameBufferSize]());
    std::copy(data, data + std::min(size, kFrameBufferSize), buffer.get());
    CheckingSurface pic;
    CheckingLog log;
    DecodeFrameBuffer(std::span<const std::uint8_t, kFrameBufferSize>(buffer.get(), kFrameBufferSize), pic, log);
    return 0;
}
