#pragma once

// The simulated camera's picture content and its replies, as plain bytes.
//
// Everything here is pure (no I/O, no clocks), so tests of the console can
// compute exactly what camsim sends and which pixels the console should draw.
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

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

inline constexpr int kColumns = 80; // columns of a frame dump and bitmap row width
inline constexpr int kRows = 143; // rows of a frame dump and of the bitmap
inline constexpr int kLongColumns = 100; // frame dump columns of the "long" fault
inline constexpr int kLongRows = 2 * kRows; // bitmap rows of the "long" fault
inline constexpr std::size_t kDumpReplySize = 34408;
inline constexpr std::size_t kLineModeReplySize = 4 + 1 + kRows * kColumns / 8 + 2 + 2;

inline constexpr unsigned char kFrameStart = 1;
inline constexpr unsigned char kColumnStart = 2;
inline constexpr unsigned char kFrameEnd = 3;
inline constexpr unsigned char kBitmapMarker = 170;

inline constexpr std::string_view kAckReply = "ACK\r:";
inline constexpr std::string_view kNckReply = "NCK\r:";

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

const std::vector<Pattern> &AllPatterns();
std::string_view PatternName(Pattern pattern);
std::string_view PatternDescription(Pattern pattern);
std::optional<Pattern> ParsePattern(std::string_view name);

// The color of the camera pixel at column (0 = left) and row (0 = top).
Rgb PatternPixel(Pattern pattern, int column, int row);

// The "awkward" fault's variant of a pattern: as PatternPixel(), except that
// where (column + row) % 7 == 0 green is row % 4 and blue is column % 4
// (values 0..3). Red is unchanged.
Rgb AwkwardPixel(Pattern pattern, int column, int row);

// ---------------------------------------------------------------------------
// Frame dump bytes.

// Byte 1, then `columns` columns of byte 2 + kRows triples, then byte 3.
std::string DumpFrame(Pattern pattern, int columns = kColumns, bool awkward = false);
// The healthy reply to "DF": "ACK\r" + DumpFrame(pattern) + "\r:".
std::string DumpReply(Pattern pattern);
// The same by pattern name; throws std::invalid_argument for unknown names.
std::string DumpReply(const std::string &patternName);

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

// The 10 data bytes of one bitmap row, MSB first.
std::string LineModeRowBytes(int row);
// Byte 170, rows * 10 data bytes, bytes 170 170.
std::string LineModeBitmap(int rows = kRows);
// The healthy reply to "TW" in line mode: "ACK\r" + LineModeBitmap() + "\r:".
std::string LineModeReply();
// The "awkward" fault's bitmap: as LineModeBitmap(), except that the data
// bytes of row 50, x 8..39 (bytes 1..4) are 0, 1, 2, 3, and one lone byte 170
// stands between the data of rows 70 and 71. The walk skips the lone marker,
// so the drawn picture differs from the healthy one only in row 50.
std::string AwkwardLineModeBitmap();
inline constexpr int kAwkwardRow = 50;
inline constexpr int kLoneMarkerAfterRow = 70;

// ---------------------------------------------------------------------------
// Commands.

enum class CommandKind { Ping, PM, LM, DF, TW, Unknown };

// "" -> Ping, "PM 0"/"PM 1" -> PM, "LM 0"/"LM 1" -> LM, "DF", "TW";
// everything else (including other case) -> Unknown.
CommandKind ClassifyCommand(std::string_view command);
std::string_view CommandKindName(CommandKind kind); // "PING", "PM", ...
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

// ---------------------------------------------------------------------------
// Fault modes.

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

// What camsim sends for one command: `head`, then (when `repeat` is not
// empty) `repeat` over and over, `total` bytes in all. A pause of kPauseMs
// comes before byte `pauseAt`; the pty is closed after `hangupAt` bytes.
struct ReplyPlan {
    static constexpr std::size_t kNever = static_cast<std::size_t>(-1);
    std::string head;
    std::string repeat;
    std::size_t total = 0;
    std::size_t pauseAt = kNever;
    std::size_t hangupAt = kNever;

    char byteAt(std::size_t offset) const;
    // Bytes [offset, offset + count) clipped to total.
    std::string bytes(std::size_t offset, std::size_t count) const;
    std::string all() const { return bytes(0, total); }
};

// The camera's state machine: line mode on/off, and the fault rules with
// their counters. Pure: it only computes what to send.
class Camera {
public:
    explicit Camera(Pattern pattern = Pattern::Bars, std::vector<FaultRule> faults = {},
                    std::optional<int> faultTimes = std::nullopt);

    // Handles one complete command (without its CR) and returns the reply.
    // Faults apply to the commands the camera accepts (PING, PM 0/1, LM 0/1,
    // DF, and TW in line mode); the first rule in order that names the
    // command's kind, or names no kind, applies while its count lasts. A
    // mode command still takes effect under a fault, except under "nck".
    ReplyPlan handle(std::string_view command);

    bool lineMode() const { return m_lineMode; }

private:
    Pattern m_pattern;
    std::vector<FaultRule> m_faults;
    std::vector<int> m_used;
    std::optional<int> m_faultTimes;
    bool m_lineMode = false;
};

// The reply to an accepted command of the given kind under a fault (or
// none). Exposed so tests can check each fault's bytes.
ReplyPlan PlanReply(CommandKind kind, Pattern pattern, std::optional<FaultMode> fault);

} // namespace camsim
