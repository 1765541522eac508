#pragma once

// What the simulated camera sees: the color patterns of the frame dump and
// the shape of the line-mode bitmap. Pure: no I/O, no clocks.

#include "common/frame_geometry.h"
#include "sim/camsim_enum_table.h"

#include <cstdint>
#include <span>

namespace camsim {

inline constexpr int kColumns = kFrameColumns; // columns of a frame dump and bitmap row width
inline constexpr int kRows = kFrameRows; // rows of a frame dump and of the bitmap
static_assert(kBitmapRowPixels == kColumns && kBitmapRows == kRows);

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

// ---------------------------------------------------------------------------
// Patterns of the frame dump.
//
// bars:     8 vertical bars of 10 columns each, left to right: white, yellow,
//           cyan, green, magenta, red, blue, black, built from the levels
//           16 and 240 (white = (240,240,240), black = (16,16,16)).
// gradient: red rises from 16 (column 0) to 240 (column 79), green from 16
//           (row 0) to 240 (row 142); blue = 128.
// checker:  blocks of 10 columns x 13 rows (8 block columns x 11 block rows).
//           red = 16 + 28 * blockColumn, green = 16 + 20 * blockRow,
//           blue = 240 on blocks where blockColumn + blockRow is odd, else 16.
//           So column order shows in red and row order in green.
// markers:  red = 16 + column * 224 / 79 (16..240, never a marker value);
//           green = kMarkerValues[row % 6], blue = kMarkerValues[(column + row) % 6]
//           with kMarkerValues = {0, 1, 2, 3, 170, 128}. Tests that green and
//           blue bytes equal to 1, 2, 3 or 170 are taken as pixel data.
// Columns beyond 79 (the "long" fault) repeat the pattern: column c looks
// like column c % 80.
enum class Pattern { Bars, Gradient, Checker, Markers };

inline constexpr std::uint8_t kMarkerValues[6] = { 0, 1, 2, 3, 170, 128 };

// Names for --pattern (NameOf(), ParseName()) and descriptions for --list.
inline constexpr EnumEntry<Pattern> kPatternTable[] = {
    { Pattern::Bars, "bars",
      "8 vertical bars of 10 columns, left to right white, yellow, cyan, green, "
      "magenta, red, blue, black (levels 16 and 240)" },
    { Pattern::Gradient, "gradient", "red 16..240 from left to right, green 16..240 from top to bottom, blue 128" },
    { Pattern::Checker, "checker",
      "10x13-pixel blocks: red = 16+28*block column, green = 16+20*block row, "
      "blue 240/16 alternating like a checker board" },
    { Pattern::Markers, "markers",
      "red 16..240 left to right; green and blue cycle through 0, 1, 2, 3, 170, 128 "
      "(marker values inside pixel data)" },
};
constexpr std::span<const EnumEntry<Pattern>> EnumTable(Pattern)
{
    return kPatternTable;
}

// The color of the camera pixel at column (0 = left) and row (0 = top).
Rgb PatternPixel(Pattern pattern, int column, int row);

// ---------------------------------------------------------------------------
// Line-mode bitmap (80 x 143 pixels, 1 = set).
//
// Shape: a one-pixel border around the whole bitmap; a diagonal from the
// top-left corner to the bottom-right corner (pixel (x, row) is set when
// x == row * 79 / 142); a filled 20 x 20 square at x 8..27, rows 8..27
// (marks the top-left); and a bar 4 rows high at x 8..47, rows 120..123
// (marks the bottom-left). A mirrored or flipped picture is recognisable.
// For rows beyond 142 (the "long" fault) row r looks like row r % 143.
bool LineModePixel(int x, int row);

// value modulo modulus, in 0..modulus-1 also for negative values.
int Wrap(int value, int modulus);

} // namespace camsim
