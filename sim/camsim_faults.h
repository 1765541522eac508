#pragma once

// The simulated camera's fault modes (--fault) and the altered pictures some
// of them send. Pure: no I/O, no clocks.

#include "sim/camsim_picture.h"
#include "sim/camsim_protocol.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

enum class FaultMode { Silent, Nck, LateAck, Garbage, Pause, Hangup, Endless, Short, Long, Awkward };

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

} // namespace camsim
