#include "sim/camsim_faults.h"

#include "sim/camsim_enum_table.h"

#include <algorithm>

namespace camsim {

namespace {

constexpr EnumEntry<FaultMode> kFaultModeTable[] = {
    { FaultMode::Silent, "silent", "no answer at all" },
    { FaultMode::Nck, "nck", "answers \"NCK\\r:\" (a mode command then has no effect)" },
    { FaultMode::LateAck, "late-ack", "\"\\r:\" before the normal reply, so \"ACK\" is not at the start" },
    { FaultMode::Garbage, "garbage",
      "5 garbage bytes (0, '#', 127, '?', 254; no \"ACK\", no 1/2/3/170) before the normal reply" },
    { FaultMode::Pause, "pause", "a 300 ms pause in the middle of the reply, then the rest" },
    { FaultMode::Hangup, "hangup",
      "in the middle of the reply the pty is closed; a fresh pty is opened, its path "
      "printed and the --link symlink re-pointed" },
    { FaultMode::Endless, "endless",
      "after \"ACK\\r\" (DF: frame start and columns; TW: marker and data bytes) the "
      "stream never ends, until a new command or 8 MiB" },
    { FaultMode::Short, "short",
      "frame/bitmap cut at about half (DF: in the middle of a pixel), no end marker, "
      "then silence; other commands answer \"ACK\" alone" },
    { FaultMode::Long, "long", "DF: 100 columns (43,008 bytes); TW: 286 rows; others normal" },
    { FaultMode::Awkward, "awkward",
      "DF: green/blue bytes 0..3 where (column+row)%7==0; TW: data bytes 0,1,2,3 in "
      "row 50 and one lone 170 after row 70; others normal" },
    { FaultMode::Flip, "flip",
      "DF: 7 pixels get another color (each component c becomes 255-c, never 1, 2 or 3), at "
      "column,row 0,0 79,0 20,35 40,71 60,107 0,142 79,142 (0,0 = top left); same length and "
      "markers; others normal" },
};

} // namespace

const std::vector<FaultMode> &AllFaultModes()
{
    static const std::vector<FaultMode> all = EntryValues(kFaultModeTable);
    return all;
}

std::string_view FaultModeName(FaultMode mode)
{
    return EntryName(kFaultModeTable, mode);
}

std::string_view FaultModeDescription(FaultMode mode)
{
    return EntryDescription(kFaultModeTable, mode);
}

std::optional<FaultMode> ParseFaultMode(std::string_view name)
{
    return ParseEntry(kFaultModeTable, name);
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
