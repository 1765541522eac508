#pragma once

// The simulated camera's fault modes (--fault) and the altered pictures some
// of them send. Pure: no I/O, no clocks.

#include "sim/camsim_picture.h"
#include "sim/camsim_protocol.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

enum class FaultMode { Silent, Nck, LateAck, Garbage, Pause, Hangup, Endless, Short, Long, Awkward, Flip };

const std::vector<FaultMode> &AllFaultModes();
std::string_view FaultModeName(FaultMode mode);
std::string_view FaultModeDescription(FaultMode mode);
std::optional<FaultMode> ParseFaultMode(std::string_view name);

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
