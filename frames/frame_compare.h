#pragma once

#include "frames/drawn_pixels.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// How two drawn frames differ, position by position over every surface
// pixel that either drew.
struct FrameDifference {
    std::size_t differing = 0; // drawn in both in other colors, or drawn in one only
    std::size_t compared = 0; // drawn in either
};

FrameDifference CompareFrames(const DrawnPixels &first, const DrawnPixels &second);

// Visits every position drawn in either frame, row by row, with its color in
// each (null where that frame drew nothing).
void ForEachDrawnInEither(const DrawnPixels &first, const DrawnPixels &second,
                          const std::function<void(std::int32_t x, std::int32_t y, const ColorValue *inFirst,
                                                   const ColorValue *inSecond)> &visit);
