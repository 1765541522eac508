#pragma once

#include "frames/drawn_pixels.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// How two drawn frames differ, position by position over every surface
// pixel that either drew.
struct FrameDifference {
    std::size_t differing = 0; // drawn in both in other colors, or drawn in one only
    std::size_t compared = 0; // drawn in either
};

FrameDifference CompareFrames(const DrawnPixels &first, const DrawnPixels &second);

// A camera pixel of a color frame is two surface pixels side by side, x = 2k
// and 2k + 1: each column start moves x by 2 and the first one moves it from
// 0 to 2. One that differs between two frames: where it is and its color in
// each (null where that frame drew neither of its surface pixels).
struct CameraPixelDifference {
    std::int32_t column = 0; // x / 2 - 1: -1 for pixels drawn before the first column start
    std::int32_t row = 0; // its y
    std::int32_t x = 0; // its left surface pixel
    std::optional<ColorValue> inFirst;
    std::optional<ColorValue> inSecond;
    bool operator==(const CameraPixelDifference &) const = default;
};

struct CameraPixelComparison {
    std::size_t differing = 0; // camera pixels with a surface pixel that differs
    std::size_t compared = 0; // camera pixels drawn in either
    FrameDifference surface; // the same over surface pixels
    // The first differing camera pixels, row by row, at most the limit given.
    std::vector<CameraPixelDifference> listed;
};

CameraPixelComparison CompareCameraPixels(const DrawnPixels &first, const DrawnPixels &second, std::size_t listLimit);

// Visits every position drawn in either frame, row by row, with its color in
// each (null where that frame drew nothing).
void ForEachDrawnInEither(const DrawnPixels &first, const DrawnPixels &second,
                          const std::function<void(std::int32_t x, std::int32_t y, const ColorValue *inFirst,
                                                   const ColorValue *inSecond)> &visit);
