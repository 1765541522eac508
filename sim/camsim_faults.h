#pragma once

// The simulated camera's fault modes (--fault) and the altered pictures some
// of them send. Pure: no I/O, no clocks.

#include "sim/camsim_enum_table.h"
#include "sim/camsim_picture.h"
#include "sim/camsim_protocol.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace camsim {

enum class FaultMode { Silent, Nck, LateAck, Garbage, Pause, Hangup, Endless, Short, Long, Awkward, Flip };

// Names for --fault (NameOf(), ParseName()) and descriptions for --list.
inline constexpr EnumEntry<FaultMode> kFaultModeTable[] = {
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
constexpr std::span<const EnumEntry<FaultMode>> EnumTable(FaultMode)
{
    return kFaultModeTable;
}
std::string_view FaultModeName(FaultMode mode); // NameOf(mode)

// One --fault option: a mode for one command kind, or for all accepted
// commands when kind is empty. --fault-times limits each rule to its first
// N matching commands (Camera's faultTimes).
struct FaultRule {
    std::optional<CommandKind> kind;
    FaultMode mode = FaultMode::Silent;
};

inline constexpr std::string_view kGarbagePrefix { "\0#\x7f?\xfe", 5 };
inline constexpr std::string_view kLateAckPrefix = "\r:";
inline constexpr std::size_t kEndlessLimit = 8u << 20; // 8 MiB
inline constexpr int kPauseMs = 300;
inline constexpr int kLongColumns = 100; // frame dump columns of the "long" fault
inline constexpr int kLongRows = 2 * kRows; // bitmap rows of the "long" fault

// ---------------------------------------------------------------------------
// "awkward": marker values where a decoder must not take them for markers.

// The frame dump's pixels: as PatternPixel(), except that where
// (column + row) % 7 == 0 green is row % 4 and blue is column % 4
// (values 0..3). Red is unchanged.
Rgb AwkwardPixel(Pattern pattern, int column, int row);

// The bitmap: as LineModeBitmap(), except that the data bytes of row 50,
// x 8..39 (bytes 1..4) are 0, 1, 2, 3, and one lone byte 170 stands between
// the data of rows 70 and 71. The walk skips the lone marker, so the drawn
// picture differs from the healthy one only in row 50.
std::string AwkwardLineModeBitmap();
inline constexpr int kAwkwardRow = 50;
inline constexpr int kLoneMarkerAfterRow = 70;

// ---------------------------------------------------------------------------
// "flip": a few wrong pixels in an otherwise healthy frame dump.

struct CameraPixel {
    int column = 0; // 0 = left
    int row = 0; // 0 = top
};

// The camera pixels whose color the "flip" fault changes: the four corners
// and three spread along the diagonal. The --list text names them too.
inline constexpr std::array<CameraPixel, 7> kFlipPixels { {
    { 0, 0 },
    { 79, 0 },
    { 20, 35 },
    { 40, 71 },
    { 60, 107 },
    { 0, 142 },
    { 79, 142 },
} };

// As PatternPixel(), except at kFlipPixels, where every bit of the color is
// inverted (each component c becomes 255 - c). No pattern has a component in
// 252..254, so a flipped byte is never 1, 2 or 3 and the frame's markers and
// length stay as they are; and 255 - c is never c, so each of those pixels
// changes.
Rgb FlipPixel(Pattern pattern, int column, int row);

} // namespace camsim
