#pragma once

#include "platform/picture_surface.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// One surface pixel and the color last painted on it.
struct DrawnPixel {
    std::int32_t x = 0;
    std::int32_t y = 0;
    ColorValue color = 0;
    bool operator==(const DrawnPixel &) const = default;
};

// The pixels a decoder painted, at surface coordinates and without the
// surface's 133 x 117 clipping, stored sparsely: a stream that pushes x far
// out (each column marker moves it by 2) costs one entry per paint, never an
// image of the bounding box. So memory follows the bytes received.
//
// Painting only appends, so recording costs next to nothing while a test
// runs; the first read afterwards sorts the paints once and keeps the last
// color of each position (reads are const but not safe from several threads
// at once). Positions with a negative or beyond-32-bit coordinate are never
// drawn on a surface and are not kept; the reception limits keep every
// decoder far inside 32 bits.
class DrawnPixels {
public:
    // Makes room for a full frame's paints now, memory touched and all, so
    // that painting them later neither allocates nor meets fresh pages
    // (a decode being timed should not pay for its record).
    void makeRoomForAFrame();
    void paint(std::int64_t x, std::int64_t y, ColorValue color);
    // Everything painted so far is erased, as by the surface's clear.
    void clear();

    bool empty() const { return m_pixels.empty(); }
    // The positions painted.
    std::size_t size() const { return pixels().size(); }
    // Row by row from the top, left to right within a row.
    const std::vector<DrawnPixel> &pixels() const;
    std::optional<ColorValue> at(std::int64_t x, std::int64_t y) const;

    // From the surface origin to the farthest drawn pixel: one more than the
    // largest x and y drawn (0 x 0 when nothing was drawn).
    std::int64_t width() const { return m_width; }
    std::int64_t height() const { return m_height; }

private:
    mutable std::vector<DrawnPixel> m_pixels;
    mutable bool m_sorted = true;
    std::int64_t m_width = 0;
    std::int64_t m_height = 0;
};
