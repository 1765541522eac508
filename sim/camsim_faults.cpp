#include "sim/camsim_faults.h"

#include <algorithm>

namespace camsim {

std::string_view FaultModeName(FaultMode mode)
{
    return NameOf(mode);
}

Rgb AwkwardPixel(Pattern pattern, int column, int row)
{
    Rgb px = PatternPixel(pattern, column, row);
    const int c = Wrap(column, kColumns);
    const int r = Wrap(row, kRows);
    if ((c + r) % 7 == 0) {
        px.g = static_cast<std::uint8_t>(r % 4);
        px.b = static_cast<std::uint8_t>(c % 4);
    }
    return px;
}

std::string AwkwardLineModeBitmap()
{
    std::string bitmap(1, static_cast<char>(kBitmapMarker));
    for (int r = 0; r < kRows; ++r) {
        std::string row = LineModeRowBytes(r);
        if (r == kAwkwardRow)
            for (int i = 0; i < 4; ++i)
                row[1 + i] = static_cast<char>(i);
        bitmap += row;
        if (r == kLoneMarkerAfterRow)
            bitmap.push_back(static_cast<char>(kBitmapMarker));
    }
    bitmap.append(2, static_cast<char>(kBitmapMarker));
    return bitmap;
}

Rgb FlipPixel(Pattern pattern, int column, int row)
{
    Rgb px = PatternPixel(pattern, column, row);
    const bool flipped = std::any_of(kFlipPixels.begin(), kFlipPixels.end(),
                                     [&](const CameraPixel &p) { return p.column == column && p.row == row; });
    if (flipped)
        px = Rgb { static_cast<std::uint8_t>(255 - px.r), static_cast<std::uint8_t>(255 - px.g),
                   static_cast<std::uint8_t>(255 - px.b) };
    return px;
}

} // namespace camsim
