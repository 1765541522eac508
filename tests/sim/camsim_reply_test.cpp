// Unit tests of camsim's pure reply generation and command line.

#include "sim/camsim_options.h"
#include "sim/camsim_reply.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>

using namespace camsim;

namespace {

std::uint8_t At(const std::string &s, std::size_t i)
{
    return static_cast<std::uint8_t>(s.at(i));
}

// Walks a frame (starting at its byte 1) as the camera lays it out and
// checks every pixel against `expected`. Returns the number of columns.
int CheckFrame(const std::string &frame, const std::function<Rgb(int, int)> &expected)
{
    EXPECT_EQ(At(frame, 0), kFrameStart);
    std::size_t i = 1;
    int column = 0;
    while (i < frame.size() && At(frame, i) == kColumnStart) {
        ++i;
        for (int row = 0; row < kRows; ++row, i += 3) {
            const Rgb px { At(frame, i), At(frame, i + 1), At(frame, i + 2) };
            EXPECT_EQ(px, expected(column, row)) << "column " << column << " row " << row;
            EXPECT_GT(px.r, 3) << "a red byte would read as a marker";
        }
        ++column;
    }
    EXPECT_EQ(i, frame.size() - 1);
    EXPECT_EQ(At(frame, frame.size() - 1), kFrameEnd);
    return column;
}

// Decodes bitmap data bytes (after the first marker) as the console's walk
// does: a lone marker is skipped, two adjacent markers end it.
std::vector<std::vector<bool>> WalkBitmap(const std::string &bitmap)
{
    std::vector<std::vector<bool>> rows;
    std::vector<bool> row;
    bool previousMarker = false;
    for (std::size_t i = 1; i < bitmap.size(); ++i) {
        if (At(bitmap, i) == kBitmapMarker) {
            if (previousMarker)
                break;
            previousMarker = true;
            continue;
        }
        previousMarker = false;
        for (int bit = 7; bit >= 0; --bit) {
            row.push_back((At(bitmap, i) >> bit) & 1);
            if (row.size() == kColumns)
                rows.push_back(std::exchange(row, {}));
        }
    }
    EXPECT_TRUE(row.empty()) << "bitmap ends inside a row";
    return rows;
}

} // namespace

TEST(CamsimDump, EveryPatternGivesTheExactFrameLayoutAndLength)
{
    for (const auto &[p, name, description] : kPatternTable) {
        SCOPED_TRACE(std::string(name) + ": " + std::string(description));
        const std::string reply = DumpReply(p);
        ASSERT_EQ(reply.size(), kDumpReplySize);
        EXPECT_EQ(reply.substr(0, 4), "ACK\r");
        EXPECT_EQ(reply.substr(reply.size() - 2), "\r:");
        const std::string frame = reply.substr(4, reply.size() - 6);
        // A copy: clang 14 cannot capture a structured binding.
        const auto pattern = p;
        EXPECT_EQ(CheckFrame(frame, [pattern](int c, int r) { return PatternPixel(pattern, c, r); }), kColumns);
        EXPECT_EQ(DumpReply(std::string(name)), reply);
    }
    EXPECT_THROW(DumpReply(std::string("Bars")), std::invalid_argument);
}

TEST(CamsimDump, PatternsShowOrientationAndKeepComponentsInRange)
{
    for (Pattern p : { Pattern::Bars, Pattern::Gradient, Pattern::Checker })
        for (int c = 0; c < kColumns; ++c)
            for (int r = 0; r < kRows; ++r) {
                const Rgb px = PatternPixel(p, c, r);
                for (int v : { px.r, px.g, px.b })
                    ASSERT_TRUE(v >= 16 && v <= 240) << NameOf(p) << " " << c << "," << r;
            }

    EXPECT_EQ(PatternPixel(Pattern::Bars, 0, 0), (Rgb { 240, 240, 240 }));
    EXPECT_EQ(PatternPixel(Pattern::Bars, 79, 142), (Rgb { 16, 16, 16 }));
    EXPECT_EQ(PatternPixel(Pattern::Bars, 55, 7), (Rgb { 240, 16, 16 }));
    EXPECT_EQ(PatternPixel(Pattern::Gradient, 0, 0), (Rgb { 16, 16, 128 }));
    EXPECT_EQ(PatternPixel(Pattern::Gradient, 79, 142), (Rgb { 240, 240, 128 }));

    // Checker: every block has its own (red, green), so swapped columns or
    // rows show.
    std::set<std::pair<int, int>> blocks;
    for (int c = 0; c < kColumns; c += 10)
        for (int r = 0; r < kRows; r += 13) {
            const Rgb px = PatternPixel(Pattern::Checker, c, r);
            EXPECT_EQ(PatternPixel(Pattern::Checker, c + 9, r + 12), px);
            blocks.insert({ px.r, px.g });
        }
    EXPECT_EQ(blocks.size(), 8u * 11u);

    // Markers: every marker value occurs as green and as blue.
    std::set<int> greens, blues;
    for (int c = 0; c < kColumns; ++c)
        for (int r = 0; r < kRows; ++r) {
            greens.insert(PatternPixel(Pattern::Markers, c, r).g);
            blues.insert(PatternPixel(Pattern::Markers, c, r).b);
        }
    for (int v : { 0, 1, 2, 3, 170 }) {
        EXPECT_TRUE(greens.count(v)) << v;
        EXPECT_TRUE(blues.count(v)) << v;
    }
}

TEST(CamsimLineMode, BitmapLayoutShapeAndNoMarkerInData)
{
    const std::string reply = LineModeReply();
    ASSERT_EQ(reply.size(), kLineModeReplySize);
    EXPECT_EQ(reply.substr(0, 5), std::string("ACK\r") + char(kBitmapMarker));
    EXPECT_EQ(reply.substr(reply.size() - 4), std::string(2, char(kBitmapMarker)) + "\r:");
    const std::string data = reply.substr(5, kRows * 10);
    EXPECT_EQ(data.find(char(kBitmapMarker)), std::string::npos);

    const auto rows = WalkBitmap(LineModeBitmap());
    ASSERT_EQ(rows.size(), std::size_t(kRows));
    for (int r = 0; r < kRows; ++r)
        for (int x = 0; x < kColumns; ++x)
            ASSERT_EQ(rows[r][x], LineModePixel(x, r)) << x << "," << r;

    // Border, square top left, bar bottom left, and not mirror-symmetric.
    EXPECT_TRUE(LineModePixel(0, 0) && LineModePixel(79, 142) && LineModePixel(79, 0));
    EXPECT_TRUE(LineModePixel(15, 20));
    EXPECT_FALSE(LineModePixel(79 - 15, 20));
    EXPECT_TRUE(LineModePixel(40, 121));
    EXPECT_FALSE(LineModePixel(40, 142 - 121));
    EXPECT_FALSE(LineModePixel(40, 60));
}

TEST(CamsimLineMode, AwkwardBitmapHidesSmallValuesAndALoneMarker)
{
    const std::string bitmap = AwkwardLineModeBitmap();
    ASSERT_EQ(bitmap.size(), LineModeBitmap().size() + 1);
    // Exactly one lone marker inside the data, none adjacent to another.
    int lone = 0;
    for (std::size_t i = 1; i + 2 < bitmap.size(); ++i)
        if (At(bitmap, i) == kBitmapMarker) {
            ++lone;
            EXPECT_NE(At(bitmap, i - 1), kBitmapMarker);
            EXPECT_NE(At(bitmap, i + 1), kBitmapMarker);
        }
    EXPECT_EQ(lone, 1);

    const auto rows = WalkBitmap(bitmap);
    ASSERT_EQ(rows.size(), std::size_t(kRows));
    for (int r = 0; r < kRows; ++r)
        for (int x = 0; x < kColumns; ++x) {
            bool expected = LineModePixel(x, r);
            if (r == kAwkwardRow && x >= 8 && x < 40)
                expected = ((x / 8 - 1) >> (7 - x % 8)) & 1; // bytes 0, 1, 2, 3
            ASSERT_EQ(rows[r][x], expected) << x << "," << r;
        }
}

TEST(CamsimCommands, AssemblerAndClassificationAreExact)
{
    CommandAssembler assembler;
    EXPECT_TRUE(assembler.feed("D").empty());
    EXPECT_EQ(assembler.feed("F\r\r\nLM\n 1\rT"), (std::vector<std::string> { "DF", "", "LM 1" }));
    EXPECT_EQ(assembler.feed("W\r"), std::vector<std::string> { "TW" });
    const auto longOne = assembler.feed(std::string(5000, 'x') + "\r");
    ASSERT_EQ(longOne.size(), 1u);
    EXPECT_EQ(longOne[0].size(), CommandAssembler::kMaxCommand);

    EXPECT_EQ(ClassifyCommand(""), CommandKind::Ping);
    EXPECT_EQ(ClassifyCommand("PM 0"), CommandKind::PM);
    EXPECT_EQ(ClassifyCommand("LM 1"), CommandKind::LM);
    for (const char *unknown : { "df", "DF ", " DF", "PM 2", "pm 1", "LM1", "TW\n", "X" })
        EXPECT_EQ(ClassifyCommand(unknown), CommandKind::Unknown) << unknown;
}

TEST(CamsimCamera, LineModeGatesTwAndUnknownCommandsAreNeverFaulted)
{
    Camera camera(Pattern::Bars, { FaultRule { std::nullopt, FaultMode::Silent } });
    EXPECT_EQ(camera.handle("TW").all(), kNckReply); // rejected: no fault
    EXPECT_EQ(camera.handle("df").all(), kNckReply);
    EXPECT_EQ(camera.handle("LM 1").total, 0u); // silent, yet line mode is on
    EXPECT_TRUE(camera.lineMode());
    EXPECT_EQ(camera.handle("TW").total, 0u);

    Camera healthy;
    EXPECT_EQ(healthy.handle("").all(), kAckReply);
    EXPECT_EQ(healthy.handle("LM 1").all(), kAckReply);
    EXPECT_EQ(healthy.handle("TW").all(), LineModeReply());
    EXPECT_EQ(healthy.handle("LM 0").all(), kAckReply);
    EXPECT_EQ(healthy.handle("TW").all(), kNckReply);
}

TEST(CamsimCamera, FaultRulesApplyInOrderAndRunOutAfterTheirTimes)
{
    Camera camera(Pattern::Bars,
                  { FaultRule { CommandKind::LM, FaultMode::Nck }, FaultRule { std::nullopt, FaultMode::LateAck } }, 1);
    EXPECT_EQ(camera.handle("LM 1").all(), kNckReply);
    EXPECT_FALSE(camera.lineMode()) << "a refused mode command has no effect";
    EXPECT_EQ(camera.handle("").all(), "\r:ACK\r:");
    EXPECT_EQ(camera.handle("").all(), kAckReply);
    EXPECT_EQ(camera.handle("LM 1").all(), kAckReply);
    EXPECT_EQ(camera.handle("DF").all(), DumpReply(Pattern::Bars));
}

TEST(CamsimFaults, ContentFaultsOfTheFrameDump)
{
    const std::string healthy = DumpReply(Pattern::Checker);
    auto plan = [](FaultMode m, CommandKind k = CommandKind::DF) { return PlanReply(k, Pattern::Checker, m); };

    const std::string late = plan(FaultMode::LateAck).all();
    EXPECT_NE(late.substr(0, 3), "ACK");
    EXPECT_EQ(late, std::string(kLateAckPrefix) + healthy);

    const std::string garbage = plan(FaultMode::Garbage).all();
    EXPECT_EQ(garbage.substr(kGarbagePrefix.size()), healthy);
    for (char ch : kGarbagePrefix)
        EXPECT_TRUE(ch != 'A' && ch != 1 && ch != 2 && ch != 3 && ch != char(170));

    // Short: ends with a column marker and a lone red byte, no end marker.
    const std::string cut = plan(FaultMode::Short).all();
    EXPECT_EQ(cut, healthy.substr(0, cut.size()));
    EXPECT_NEAR(double(cut.size()), healthy.size() / 2.0, 100.0);
    EXPECT_EQ(At(cut, cut.size() - 2), kColumnStart);

    const std::string longer = plan(FaultMode::Long).all();
    EXPECT_GT(longer.size(), 40001u);
    EXPECT_EQ(CheckFrame(longer.substr(4, longer.size() - 6),
                         [](int c, int r) { return PatternPixel(Pattern::Checker, c, r); }),
              kLongColumns);

    const std::string awkward = plan(FaultMode::Awkward).all();
    ASSERT_EQ(awkward.size(), kDumpReplySize);
    std::set<int> small;
    CheckFrame(awkward.substr(4, awkward.size() - 6), [&](int c, int r) {
        const Rgb px = AwkwardPixel(Pattern::Checker, c, r);
        if (px.g <= 3)
            small.insert(px.g);
        return px;
    });
    EXPECT_EQ(small, (std::set<int> { 0, 1, 2, 3 }));

    // Flip: exactly the listed camera pixels change, in every pattern, and
    // no new byte 1, 2 or 3 appears; length and markers stay.
    for (const auto &[p, name, description] : kPatternTable) {
        SCOPED_TRACE(std::string(name) + ": " + std::string(description));
        const std::string normal = DumpReply(p);
        const std::string flipped = PlanReply(CommandKind::DF, p, FaultMode::Flip).all();
        ASSERT_EQ(flipped.size(), normal.size());
        std::set<std::pair<int, int>> changed;
        for (std::size_t i = 0; i < normal.size(); ++i) {
            if (flipped[i] == normal[i])
                continue;
            EXPECT_GT(At(flipped, i), 3) << "offset " << i;
            const std::size_t inFrame = i - 5; // after "ACK\r" and the frame start
            const std::size_t column = inFrame / (1 + 3 * kRows), inColumn = inFrame % (1 + 3 * kRows);
            ASSERT_GT(inColumn, 0u) << "a column marker changed at offset " << i;
            changed.insert({ int(column), int(inColumn - 1) / 3 });
        }
        std::set<std::pair<int, int>> listed;
        for (const CameraPixel &px : kFlipPixels)
            listed.insert({ px.column, px.row });
        EXPECT_EQ(changed, listed);
    }
    EXPECT_EQ(kFlipPixels.size(), 7u);
    const std::string list = ListText();
    const std::size_t flipAt = list.find("  flip: ");
    const std::string flipLine = list.substr(flipAt, list.find('\n', flipAt) - flipAt);
    for (const CameraPixel &px : kFlipPixels)
        EXPECT_NE(flipLine.find(" " + std::to_string(px.column) + "," + std::to_string(px.row) + " "),
                  std::string::npos)
            << "--list names each flipped pixel: " << flipLine;
    EXPECT_EQ(plan(FaultMode::Flip, CommandKind::Ping).all(), kAckReply);

    EXPECT_EQ(plan(FaultMode::Pause).pauseAt, kDumpReplySize / 2);
    EXPECT_EQ(plan(FaultMode::Hangup).hangupAt, kDumpReplySize / 2);
    EXPECT_EQ(plan(FaultMode::Silent).total, 0u);
    EXPECT_EQ(plan(FaultMode::Long, CommandKind::Ping).all(), kAckReply);
}

TEST(CamsimFaults, EndlessStreamsNeverCloseTheFrameOrBitmap)
{
    const ReplyPlan df = PlanReply(CommandKind::DF, Pattern::Bars, FaultMode::Endless);
    EXPECT_EQ(df.total, kEndlessLimit);
    // Walk 3 frames' worth: every step is a column marker or a pixel, never
    // the end marker.
    const std::string bytes = df.bytes(0, 3 * kDumpReplySize);
    ASSERT_EQ(bytes.substr(0, 5), std::string("ACK\r") + char(kFrameStart));
    int columns = 0;
    for (std::size_t i = 5; i + 3 <= bytes.size();) {
        ASSERT_NE(At(bytes, i), kFrameEnd) << i;
        if (At(bytes, i) == kColumnStart) {
            ++columns;
            ++i;
        } else {
            i += 3;
        }
    }
    EXPECT_GT(columns, 2 * kColumns);

    const ReplyPlan tw = PlanReply(CommandKind::TW, Pattern::Bars, FaultMode::Endless);
    const std::string stream = tw.bytes(0, 100000);
    EXPECT_EQ(stream.find(std::string(2, char(kBitmapMarker))), std::string::npos);
    EXPECT_EQ(stream.find(char(kBitmapMarker), 5), std::string::npos);

    // bytes() across the head/repeat seam agrees with byteAt().
    for (std::size_t offset : { std::size_t(0), std::size_t(3), std::size_t(34000), kEndlessLimit - 10 }) {
        const std::string piece = df.bytes(offset, 5000);
        for (std::size_t k = 0; k < piece.size(); ++k)
            ASSERT_EQ(piece[k], df.byteAt(offset + k)) << offset + k;
    }
    EXPECT_EQ(df.bytes(kEndlessLimit - 10, 5000).size(), 10u);
}

TEST(CamsimOptions, ParsesValidAndRejectsBadArguments)
{
    const Options o = ParseOptions({ "--link", "/tmp/x", "--pattern=checker", "--fault", "DF=pause", "--fault",
                                     "hangup", "--fault-times", "2", "--fast" });
    EXPECT_EQ(o.linkPath, "/tmp/x");
    EXPECT_EQ(o.pattern, Pattern::Checker);
    ASSERT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.faults[0].kind, CommandKind::DF);
    EXPECT_EQ(o.faults[0].mode, FaultMode::Pause);
    EXPECT_FALSE(o.faults[1].kind.has_value());
    EXPECT_EQ(o.faultTimes, 2);
    EXPECT_TRUE(o.fast);

    for (const std::vector<std::string> &bad :
         std::vector<std::vector<std::string>> { { "--pattern", "stripes" },
                                                 { "--pattern" },
                                                 { "--fault", "DF=slow" },
                                                 { "--fault", "XX=nck" },
                                                 { "--fault", "df=nck" },
                                                 { "--fault-times", "-1" },
                                                 { "--fault-times", "two" },
                                                 { "--fast=1" },
                                                 { "extra" },
                                                 { "--link", "" },
                                                 { "--replay-pace", "wire" },
                                                 { "--replay", "x", "--replay-pace", "slow" },
                                                 { "--replay", "x", "--fault", "nck" } })
        EXPECT_THROW(ParseOptions(bad), UsageError) << bad[0];

    const std::string help = HelpText();
    for (const char *word : { "--link", "--log", "--fault-times", "--fast", "--version", "CAMCONSOLE_PORT1", "markers",
                              "late-ack", "awkward", "flip", "--replay FILE", "--replay-pace" })
        EXPECT_NE(help.find(word), std::string::npos) << word;
    EXPECT_TRUE(ParseOptions({ "--version" }).version);
    EXPECT_EQ(VersionText(), "camsim " CAMSIM_TEST_VERSION "\n");
}
