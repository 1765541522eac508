#include "decode/line_mode_bitmap.h"

#include "common/frame_geometry.h"
#include "common/frame_markers.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr auto kRowPixels = static_cast<std::int64_t>(kBitmapRowPixels);

} // namespace

std::string GetBinary(int value)
{
    if (value < 0 || value > 255)
        return {};
    std::string bits(8, '0');
    for (int i = 7; i >= 0; --i) {
        if (value % 2 != 0)
            bits[static_cast<std::size_t>(i)] = '1';
        value /= 2;
    }
    return bits;
}

WalkEnd DrawLineModeBitmap(std::string_view reply, PictureSurface &pic, StatusLog &log, SecondsClock &clock,
                           WalkObserver *observer, std::int64_t *displaySeconds)
{
    pic.usePixelUnits();

    const std::size_t start = reply.find("ACK");
    if (start == std::string_view::npos) {
        if (observer)
            observer->walkEnded(0, WalkEnd::NoReply);
        return WalkEnd::NoReply;
    }
    if (observer) {
        observer->ackFound(start);
        observer->walkStarted(start);
    }

    const SecondsReading t2 = clock.now();

    // Only whether a marker has been seen matters, so a flag stands for the
    // marker count: it cannot overflow however long the reply is.
    bool bitmapStarted = false;
    bool previousWasMarker = false;
    bool bitmapEnded = false; // on two adjacent markers
    std::int64_t x = 0;
    std::int64_t y = 0;

    // The walk stops before the reply's last character.
    std::size_t index = start;
    for (; index + 1 < reply.size(); ++index) {
        const auto byte = static_cast<unsigned char>(reply[index]);
        if (byte == kBitmapMarker) {
            // Same test as GetBinary(byte) == "10101010", without building text.
            if (observer)
                observer->markerMet(index, byte, bitmapStarted);
            bitmapStarted = true;
            if (previousWasMarker) {
                bitmapEnded = true;
                break;
            }
            previousWasMarker = true;
        } else if (bitmapStarted) {
            previousWasMarker = false;
            for (int bit = 7; bit >= 0; --bit) {
                const ColorValue color = ((byte >> bit) & 1u) != 0 ? kBlue : kBlack;
                pic.setPixel(x, y, color);
                pic.setPixel(x, y + 1, color);
                if (observer)
                    observer->pixelDrawn(WalkPixel { index, bit, x, y, color });
                if (++x == kRowPixels) {
                    x = 0;
                    y += 2;
                }
            }
        } else if (observer) {
            observer->byteSkipped(index);
        }
    }
    WalkEnd end = bitmapStarted ? WalkEnd::CutShort : WalkEnd::NoStart;
    if (bitmapEnded)
        end = WalkEnd::EndMarker;
    // The last character is never examined, but a second marker there has arrived.
    else if (previousWasMarker && static_cast<unsigned char>(reply.back()) == kBitmapMarker)
        end = WalkEnd::EndPassed;
    if (observer)
        observer->walkEnded(index, end);

    const SecondsReading t3 = clock.now();
    const std::int64_t seconds = SecondsBetween(t2, t3);
    log.appendLine("Time to display frame: " + std::to_string(seconds));
    if (displaySeconds)
        *displaySeconds = seconds;
    return end;
}
