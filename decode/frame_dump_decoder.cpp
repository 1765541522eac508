#include "decode/frame_dump_decoder.h"

#include "common/frame_markers.h"

namespace {

inline void PaintPixel(PictureSurface &pic, std::int64_t x, std::int64_t y, unsigned red, unsigned green, unsigned blue,
                       WalkObserver *observer, std::size_t offset)
{
    const ColorValue color = MakeColor(red, green, blue);
    pic.setPixel(x, y, color);
    pic.setPixel(x + 1, y, color);
    if (observer)
        observer->pixelDrawn(WalkPixel { offset, WalkPixel::kWholeTriple, x, y, color });
}

} // namespace

WalkEnd DecodeFrameStream(std::string_view reply, PictureSurface &pic, EventPump &events, WalkObserver *observer)
{
    const std::size_t length = reply.size();
    const auto byteAt = [reply](std::size_t position) { // position counts from 1
        return static_cast<unsigned char>(reply[position - 1]);
    };

    std::int64_t x = 0;
    std::int64_t y = 0;
    bool inFrame = false;
    bool frameStarted = false;
    std::size_t position = 1;

    if (observer)
        observer->walkStarted(0);
    while (position < length) {
        events.processPending();
        const unsigned char b = byteAt(position);
        if (observer) {
            if (b == kColumnStart || b == kFrameStart || b == kFrameEnd)
                observer->markerMet(position - 1, b, inFrame);
            else if (!inFrame)
                observer->byteSkipped(position - 1);
        }
        if (b == kColumnStart) {
            y = 0;
            x += 2;
            ++position;
        } else if (b == kFrameStart) {
            y = 0;
            x = 0;
            inFrame = true;
            frameStarted = true;
            ++position;
        } else if (b == kFrameEnd) {
            inFrame = false; // the extra step below passes the marker
        } else if (inFrame) {
            if (position + 2 > length) { // frame cut short: blue missing
                if (observer)
                    observer->walkEnded(position - 1, WalkEnd::CutPixel);
                return WalkEnd::CutPixel;
            }
            PaintPixel(pic, x, y, b, byteAt(position + 1), byteAt(position + 2), observer, position - 1);
            ++y;
            position += 3;
        }
        if (!inFrame) {
            // After a column marker this swallows the byte behind it unseen.
            if (observer && b == kColumnStart && position <= length)
                observer->byteSwallowed(position - 1);
            ++position;
        }
    }
    // No step starts at the last byte, but an end marker there has arrived.
    if (frameStarted && inFrame && position == length && byteAt(position) == kFrameEnd)
        inFrame = false;
    const WalkEnd end = !frameStarted ? WalkEnd::NoStart : inFrame ? WalkEnd::CutShort : WalkEnd::EndPassed;
    if (observer)
        observer->walkEnded(position - 1, end);
    return end;
}

WalkEnd DecodeFrameBuffer(std::span<const std::uint8_t, kFrameBufferSize> buffer, PictureSurface &pic, StatusLog &log,
                          WalkObserver *observer)
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    bool inFrame = false;

    if (observer)
        observer->walkStarted(1);
    std::size_t i = 1;
    for (; i <= kLastScannedFrameBufferIndex; ++i) {
        const std::uint8_t b = buffer[i];
        if (observer) {
            if (b == kFrameStart || b == kColumnStart || b == kFrameEnd)
                observer->markerMet(i, b, inFrame);
            else if (!inFrame)
                observer->byteSkipped(i);
        }
        if (b == kFrameStart) {
            pic.clear();
            if (observer)
                observer->pictureCleared();
            inFrame = true;
        } else if (b == kColumnStart) {
            y = 0;
            x += 2;
        } else if (b == kFrameEnd) {
            log.appendText("Image Dump Complete");
            if (observer)
                observer->walkEnded(i, WalkEnd::EndMarker);
            return WalkEnd::EndMarker;
        } else if (inFrame) {
            PaintPixel(pic, x, y, b, buffer[i + 1], buffer[i + 2], observer, i);
            ++y;
            i += 2;
        }
    }
    const WalkEnd end = inFrame ? WalkEnd::CutShort : WalkEnd::NoStart;
    if (observer)
        observer->walkEnded(i, end);
    return end;
}
