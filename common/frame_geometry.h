#pragma once

#include <cstddef>

// The camera's frames, as the console, the driver library and camsim know
// them.
//
// A color frame dump ("DF") carries 80 columns of 143 pixels: "ACK\r", a
// frame start, per column a column start and 143 pixels of three bytes, the
// end marker and the prompt "\r:". Its decoder paints each pixel two
// surface pixels wide, the first column from x 2 (its column start moves x
// from 0 to 2), so a whole frame covers 162 x 143 surface pixels.
inline constexpr int kFrameColumns = 80;
inline constexpr int kFrameRows = 143;
inline constexpr std::size_t kWholeFrameDumpBytes = 4 + 1 + kFrameColumns * (1 + kFrameRows * 3) + 1 + 2;
static_assert(kWholeFrameDumpBytes == 34408);
inline constexpr int kColorFrameSurfaceWidth = 2 + 2 * kFrameColumns;
inline constexpr int kColorFrameSurfaceHeight = kFrameRows;

// A line-mode bitmap ("TW") has rows of 80 one-bit pixels, 143 of them in a
// whole bitmap; each is painted two surface pixels high: 80 x 286.
inline constexpr std::size_t kBitmapRowPixels = 80;
inline constexpr int kBitmapRows = 143;
inline constexpr int kBitmapSurfaceWidth = static_cast<int>(kBitmapRowPixels);
inline constexpr int kBitmapSurfaceHeight = 2 * kBitmapRows;
