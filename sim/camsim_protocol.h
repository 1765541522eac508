#pragma once

// The camera's serial protocol: commands in, reply bytes out. Pure: no I/O,
// no clocks, so tests of the console can compute exactly what camsim sends.
//
// Frame dump ("DF") reply, healthy camera:
//   "ACK\r" + frame + "\r:"
//   frame = byte 1, then for each of the 80 columns (left to right) byte 2
//           followed by 143 RGB triples (rows top to bottom), then byte 3.
//   Total 4 + 1 + 80 * (1 + 143 * 3) + 1 + 2 = 34,408 bytes.
//   In the patterns bars, gradient and checker every component lies in
//   16..240, so no pixel byte is 1, 2 or 3.
//
// Line-mode bitmap ("TW" after "LM 1") reply, healthy camera:
//   "ACK\r" + byte 170 + 143 rows * 10 data bytes + bytes 170 170 + "\r:"
//   Each data byte carries 8 pixels, most significant bit = leftmost pixel.
//   No data byte is 170. The shape is described at LineModePixel().

#include "common/frame_markers.h"
#include "sim/camsim_enum_table.h"
#include "sim/camsim_picture.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

inline constexpr std::size_t kDumpReplySize = kWholeFrameDumpBytes;
inline constexpr std::size_t kLineModeReplySize = 4 + 1 + kRows * kColumns / 8 + 2 + 2;

using ::kBitmapMarker;
using ::kColumnStart;
using ::kFrameEnd;
using ::kFrameStart;

inline constexpr std::string_view kAckReply = "ACK\r:";
inline constexpr std::string_view kNckReply = "NCK\r:";

// ---------------------------------------------------------------------------
// Frame dump bytes.

// The color a frame dump sends for a camera pixel: PatternPixel, or a
// fault's variant of it.
using PixelSource = Rgb (*)(Pattern pattern, int column, int row);

// Byte 1, then `columns` columns of byte 2 + kRows triples, then byte 3.
std::string DumpFrame(Pattern pattern, int columns = kColumns, PixelSource pixel = PatternPixel);
// The healthy reply to "DF": "ACK\r" + DumpFrame(pattern) + "\r:".
std::string DumpReply(Pattern pattern);
// The same by pattern name; throws std::invalid_argument for unknown names.
std::string DumpReply(const std::string &patternName);

// ---------------------------------------------------------------------------
// Line-mode bitmap bytes.

// The 10 data bytes of one bitmap row, MSB first.
std::string LineModeRowBytes(int row);
// Byte 170, rows * 10 data bytes, bytes 170 170.
std::string LineModeBitmap(int rows = kRows);
// The healthy reply to "TW" in line mode: "ACK\r" + LineModeBitmap() + "\r:".
std::string LineModeReply();

// ---------------------------------------------------------------------------
// Commands.

enum class CommandKind { Ping, PM, LM, DF, TW, Unknown };

// "" -> Ping, "PM 0"/"PM 1" -> PM, "LM 0"/"LM 1" -> LM, "DF", "TW";
// everything else (including other case) -> Unknown.
CommandKind ClassifyCommand(std::string_view command);
// Names as --fault CMD=MODE takes them: "PING", "PM", ...
inline constexpr EnumEntry<CommandKind> kCommandKindTable[] = {
    { CommandKind::Ping, "PING" }, { CommandKind::PM, "PM" }, { CommandKind::LM, "LM" },
    { CommandKind::DF, "DF" },     { CommandKind::TW, "TW" }, { CommandKind::Unknown, "UNKNOWN" },
};
constexpr std::span<const EnumEntry<CommandKind>> EnumTable(CommandKind)
{
    return kCommandKindTable;
}
// A kind the camera accepts, by name; never Unknown.
std::optional<CommandKind> ParseCommandKind(std::string_view name);

// Splits the received byte stream into commands: bytes up to CR (13); LF
// (10) is ignored everywhere. Commands longer than kMaxCommand keep only
// their first kMaxCommand bytes.
class CommandAssembler {
public:
    static constexpr std::size_t kMaxCommand = 1024;
    // Feeds bytes; returns the commands completed by them, in order.
    std::vector<std::string> feed(std::string_view bytes);

private:
    std::string m_pending;
};

} // namespace camsim
