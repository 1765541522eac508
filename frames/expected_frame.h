#pragma once

#include "frames/drawn_pixels.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// How a drawn frame differs from an expected one (a frame saved from a good
// run), counted in surface pixels and in the camera pixels they belong to.

// How a camera pixel lies on the surface: a color frame's pixel is two
// surface pixels side by side, a line-mode bitmap's two one above the other.
enum class CameraPixelShape { TwoWide, TwoHigh };

struct FrameMismatch {
    struct Pixel {
        std::int64_t column = 0; // the camera's column and row
        std::int64_t row = 0;
        std::int32_t x = 0; // the first differing surface pixel of it
        std::int32_t y = 0;
        std::optional<ColorValue> expected; // null where that side drew nothing
        std::optional<ColorValue> drawn;
    };

    std::size_t surfacePixels = 0;
    std::size_t cameraPixels = 0;
    // The first differing camera pixels, row by row over the surface.
    std::vector<Pixel> listed;
};

// A frame saved by Save Frame As... or --save-frame, read back: every opaque
// pixel as drawn, every transparent one as never drawn (image/png_file.h
// reads it).
struct SavedFrame {
    DrawnPixels pixels;
    int width = 0;
    int height = 0;
};

// Compares every surface pixel drawn in either frame: it differs when one of
// them lacks it or one of its color components differs by more than
// tolerance. Lists at most listLimit camera pixels.
FrameMismatch CompareWithExpected(const DrawnPixels &drawn, const DrawnPixels &expected, int tolerance,
                                  CameraPixelShape shape, std::size_t listLimit = 100);
