#pragma once

#include "frames/drawn_pixels.h"
#include "procedures/test_kind.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The one comparison of two drawn frames, used by the inspector's compare
// page, the summary of a run without a window and the check against an
// expected frame: position by position over every surface pixel that either
// drew, counted in surface pixels and in the camera pixels they belong to.

// How a camera pixel lies on the surface: a color frame's pixel is two
// surface pixels side by side, a line-mode bitmap's two one above the other.
enum class CameraPixelShape { TwoWide, TwoHigh };
CameraPixelShape ShapeOf(TestKind test);

// The camera's column and row of a surface pixel. A color frame's first
// column start moves x from 0 to 2, so camera column c lies at x = 2 + 2c
// and 2 + 2c + 1 (column -1 holds what a frame drew before its first column
// start); a bitmap's row r lies at y = 2r and 2r + 1.
struct CameraPixel {
    std::int64_t column = 0;
    std::int64_t row = 0;
    auto operator<=>(const CameraPixel &) const = default;
};
CameraPixel CameraPixelAt(std::int32_t x, std::int32_t y, CameraPixelShape shape);

// A camera pixel that differs: where it is, its first surface pixel (the
// left, or the upper one), and its color in each frame (that surface
// pixel's, or the other one's where it was not drawn; null where the frame
// drew neither).
struct CameraPixelDifference {
    std::int64_t column = 0;
    std::int64_t row = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::optional<ColorValue> inFirst;
    std::optional<ColorValue> inSecond;
    bool operator==(const CameraPixelDifference &) const = default;
};

struct FrameDifference {
    std::size_t differing = 0; // drawn in one only, or in both with a component further apart than the tolerance
    std::size_t compared = 0; // drawn in either
};

struct FrameComparison {
    FrameDifference camera; // camera pixels with a surface pixel that differs
    FrameDifference surface;
    // The first differing camera pixels, row by row over the surface.
    std::vector<CameraPixelDifference> listed;
};

// Two colors differ when red, green or blue differ by more than tolerance.
FrameComparison CompareFrames(const DrawnPixels &first, const DrawnPixels &second, CameraPixelShape shape,
                              int tolerance = 0, std::size_t listLimit = 100);

// "7 camera pixels (14 surface pixels)", the surface count only where it is
// another.
std::string DifferingPixelsText(const FrameComparison &comparison);

// A frame saved by Save Frame As... or --save-frame, read back: every opaque
// pixel as drawn, every transparent one as never drawn (image/png_file.h
// reads it).
struct SavedFrame {
    DrawnPixels pixels;
    int width = 0;
    int height = 0;
};
