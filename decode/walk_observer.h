#pragma once

#include "decode/walk_end.h"
#include "platform/picture_surface.h"

#include <cstddef>
#include <cstdint>

// One camera pixel as a decoder drew it: the byte it came from and the first
// of the two surface pixels it was painted on. The frame-dump decoders paint
// the second one to the right, at (x + 1, y), from the red byte at offset and
// the two bytes after it; the line-mode walk paints it below, at (x, y + 1),
// from bit `bit` (7 = leftmost) of the data byte at offset.
struct WalkPixel {
    static constexpr int kWholeTriple = -1; // bit of a frame-dump pixel

    std::size_t offset = 0;
    int bit = kWholeTriple;
    std::int64_t x = 0;
    std::int64_t y = 0;
    ColorValue color = 0;
    bool operator==(const WalkPixel &) const = default;
};

// Told, step by step, what a decoder did with its input, so that a decode can
// be explained without a second parser that might disagree with it. Offsets
// count from 0 over the whole input handed to the decoder (the reply text with
// its "ACK", or the whole frame buffer). Every callback does nothing unless
// overridden; a decoder given no observer behaves exactly as without one.
class WalkObserver {
public:
    virtual ~WalkObserver() = default;

    // The first byte examined.
    virtual void walkStarted(std::size_t) {}
    // Where the line-mode walk found its "ACK".
    virtual void ackFound(std::size_t) {}
    // A byte taken for a marker (1, 2, 3, or 170 in line mode); inFrame tells
    // whether a frame (or, in line mode, the bitmap) had started before it.
    virtual void markerMet(std::size_t, unsigned char, bool) {}
    // A byte examined and passed over without drawing: outside a frame, or
    // in line mode before the bitmap.
    virtual void byteSkipped(std::size_t) {}
    // A byte passed over unseen by the stream variant's extra step after a
    // column marker outside a frame.
    virtual void byteSwallowed(std::size_t) {}
    virtual void pixelDrawn(const WalkPixel &) {}
    // The decoder cleared the picture (the buffer variant at a frame start):
    // the pixels drawn before it are gone.
    virtual void pictureCleared() {}
    // The walk ended so; offset is the first byte no step examined (for
    // CutPixel the cut pixel's red byte, for EndMarker the marker that ended
    // it), 0 for NoReply.
    virtual void walkEnded(std::size_t, WalkEnd) {}
};
