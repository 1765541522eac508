// Fuzz target for the capture reader (frames/capture_format.h).
//
// Input: the bytes of a capture file. The reader either refuses them with a
// reason or gives a capture that, written again and read back, is the same
// capture (so nothing it accepts is half read).

#include "frames/capture_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string error;
    const std::optional<Capture> capture
        = DecodeCapture(std::string_view(reinterpret_cast<const char *>(data), size), &error);
    if (!capture) {
        check(!error.empty());
        return 0;
    }
    check(capture->record.reply.size() <= size);
    const std::string again = EncodeCapture(*capture, capture->pixelsStored);
    const std::optional<Capture> back = DecodeCapture(again, &error);
    check(back.has_value());
    check(static_cast<const RunAccount &>(back->record) == capture->record);
    check(back->record.logText == capture->record.logText);
    check(back->record.pixels.pixels() == capture->record.pixels.pixels());
    return 0;
}
