#include "decode/line_mode_bitmap.h"
#include "decode/reply_summary.h"
#include "support/fakes.h"
#include "support/walk_check.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Pixel = RecordingSurface::Pixel;

// The sixteen calls one data byte makes in row 0 starting at column x0.
std::vector<Pixel> RowCalls(int byte, std::int64_t x0 = 0, std::int64_t y = 0)
{
    std::vector<Pixel> calls;
    for (int bit = 7; bit >= 0; --bit) {
        const ColorValue color = (byte >> bit) & 1 ? kBlue : kBlack;
        const std::int64_t x = x0 + (7 - bit);
        calls.push_back({ x, y, color });
        calls.push_back({ x, y + 1, color });
    }
    return calls;
}

// A seconds clock on FakeTime that lets stepMs of virtual time pass after
// every reading, as if the drawing took that long.
class SteppingClock final : public SecondsClock {
public:
    SteppingClock(FakeTime &time, int stepMs) : m_time(time), m_stepMs(stepMs) {}
    SecondsReading now() override
    {
        const SecondsReading reading = m_time.now();
        m_time.sleepMs(m_stepMs);
        return reading;
    }

private:
    FakeTime &m_time;
    int m_stepMs;
};

struct Walk {
    RecordingSurface pic;
    FakeStatusLog log;
    FakeTime time;

    void run(const std::string &reply) { DrawLineModeBitmap(reply, pic, log, time); }
};

TEST(GetBinary, EightDigitsMostSignificantFirstOrEmptyOutOfRange)
{
    EXPECT_EQ(GetBinary(0), "00000000");
    EXPECT_EQ(GetBinary(1), "00000001");
    EXPECT_EQ(GetBinary(170), "10101010");
    EXPECT_EQ(GetBinary(255), "11111111");
    EXPECT_EQ(GetBinary(256), "");
    EXPECT_EQ(GetBinary(-1), "");
}

TEST(LineModeBitmap, WithoutAckNothingIsDrawnOrLogged)
{
    Walk w;
    w.log.text = "before";
    w.run(Bytes({ 170, 255, 170, 170, 0 }) + "ACk");
    EXPECT_TRUE(w.pic.untouched());
    EXPECT_EQ(w.pic.unitSwitches, 1); // the switch comes before the search
    EXPECT_EQ(w.log.text, "before");
}

TEST(LineModeBitmap, OneDataByteBetweenMarkers)
{
    for (const std::string tail : { "", "\xFF\xFF\x0F" }) {
        Walk w;
        w.run("ACK" + Bytes({ 170, 128, 170, 170, 0 }) + tail);
        EXPECT_EQ(w.pic.calls, RowCalls(128)) << "tail " << tail.size();
        EXPECT_TRUE(w.pic.pixelUnits);
        EXPECT_EQ(w.pic.clears, 0);
        EXPECT_EQ(w.log.lines(), std::vector<std::string> { "Time to display frame: 0" });
    }
}

TEST(LineModeBitmap, EverythingBeforeTheFirstMarkerAfterAckIsIgnored)
{
    Walk w;
    w.run(Bytes({ 170, 255, 15 }) + "ACK\r" + Bytes({ 255, 1, 0, 128 }) + Bytes({ 170, 128, 170, 170, 0 }));
    EXPECT_EQ(w.pic.calls, RowCalls(128));
}

TEST(LineModeBitmap, SingleMarkerIsSkippedAndDataByte170IsAMarker)
{
    {
        // A lone marker between data bytes draws nothing; the next byte
        // continues the row.
        Walk w;
        w.run("ACK" + Bytes({ 170, 1, 170, 2, 170, 170, 0 }));
        std::vector<Pixel> expected = RowCalls(1);
        const std::vector<Pixel> second = RowCalls(2, 8);
        expected.insert(expected.end(), second.begin(), second.end());
        EXPECT_EQ(w.pic.calls, expected);
    }
    {
        // Data 170 after a marker makes two adjacent markers: the walk ends.
        Walk w;
        w.run("ACK" + Bytes({ 170, 5, 170, 170, 7, 170, 170, 0 }));
        EXPECT_EQ(w.pic.calls, RowCalls(5));
    }
}

TEST(LineModeBitmap, RowsWrapAfterEightyPixelsTwoSurfaceRowsDown)
{
    Walk w;
    std::string reply = "ACK" + Bytes({ 170 });
    reply.append(10, '\xFF');
    reply += Bytes({ 0x80, 170, 170, 0 });
    w.run(reply);
    ASSERT_EQ(w.pic.calls.size(), 11u * 16u);
    EXPECT_EQ(w.pic.calls[159], (Pixel { 79, 1, kBlue }));
    const std::vector<Pixel> wrapped(w.pic.calls.begin() + 160, w.pic.calls.end());
    EXPECT_EQ(wrapped, RowCalls(0x80, 0, 2));
}

TEST(LineModeBitmap, LastCharacterIsNeverExamined)
{
    {
        Walk w;
        w.run("ACK" + Bytes({ 170, 255 }));
        EXPECT_TRUE(w.pic.calls.empty());
        EXPECT_EQ(w.log.lines(), std::vector<std::string> { "Time to display frame: 0" });
    }
    {
        Walk w;
        w.run("ACK" + Bytes({ 170, 255, 0 }));
        EXPECT_EQ(w.pic.calls, RowCalls(255));
    }
}

TEST(LineModeBitmap, SaysWhetherTheWalkMetTwoAdjacentMarkers)
{
    const struct {
        std::string reply;
        WalkEnd end;
    } cases[] = {
        { "ACK" + Bytes({ 170, 128, 170, 170, 0 }), WalkEnd::EndMarker },
        { "ACK" + Bytes({ 170, 128, 170, 170 }), WalkEnd::EndPassed }, // the last, unexamined, character
        { "ACK" + Bytes({ 170, 128, 170, 5, 0 }), WalkEnd::CutShort },
        { "ACK" + Bytes({ 170, 128, 170 }), WalkEnd::CutShort },
        { "ACK" + Bytes({ 1, 2, 3, 170 }), WalkEnd::NoStart },
        { Bytes({ 170, 128, 170, 170, 0 }), WalkEnd::NoReply },
    };
    for (const auto &c : cases) {
        Walk w;
        EXPECT_EQ(DrawLineModeBitmap(c.reply, w.pic, w.log, w.time), c.end)
            << "reply of " << c.reply.size() << " bytes";
    }
}

TEST(LineModeBitmap, LogsTheSecondsTheDrawingTook)
{
    RecordingSurface pic;
    FakeStatusLog log;
    FakeTime time;
    time.nowMs = 10'000'000 + 400; // 10,000.4 s reads as 10,000
    SteppingClock clock(time, 2'200); // 10,002.6 s reads as 10,003
    log.reset("Start");
    DrawLineModeBitmap("ACK" + Bytes({ 170, 1, 170, 170, 0 }), pic, log, clock);
    EXPECT_EQ(log.text, "Start\r\nTime to display frame: 3\r\n");
}

TEST(LineModeBitmap, DrawingAcrossMidnightCountsForward)
{
    RecordingSurface pic;
    FakeStatusLog log;
    FakeTime time;
    time.nowMs = 5 * 86'400'000LL - 1'000; // 23:59:59 on day 4
    SteppingClock clock(time, 2'500);
    DrawLineModeBitmap("ACK" + Bytes({ 170, 1, 170, 170, 0 }), pic, log, clock);
    EXPECT_EQ(log.text, "Time to display frame: 3\r\n");
}

TEST(LineModeBitmap, LongReplyWithManyMarkersHasNoSixteenBitLimit)
{
    // 40,000 data bytes each behind a lone marker: 80,000+ characters and
    // 40,000 markers.
    std::string reply = "ACK";
    for (int i = 0; i < 40000; ++i)
        reply += Bytes({ 170, 0x0F });
    reply += Bytes({ 170, 170, 0 });
    Walk w;
    w.run(reply);
    ASSERT_EQ(w.pic.calls.size(), 40000u * 16u);
    // 320,000 pixels: the last is column 79 of bitmap row 3,999.
    EXPECT_EQ(w.pic.calls.back(), (Pixel { 79, 7999, kBlue }));
    EXPECT_EQ(w.log.lines(), std::vector<std::string> { "Time to display frame: 0" });
}

TEST(LineModeWalk, SummaryAndPixelSourcesFollowTheWalk)
{
    const struct {
        std::string reply;
        std::optional<std::size_t> ack;
        std::vector<MarkerMet> markers;
        std::size_t skipped;
        std::size_t rows;
        std::size_t lastRowPixels;
        WalkEnd end;
        std::size_t endOffset;
    } cases[] = {
        { Bytes({ 170, 255, 170, 170, 0 }) + "ACk", std::nullopt, {}, 0, 0, 0, WalkEnd::NoReply, 0 },
        { "ACK" + Bytes({ 170, 128, 170, 170, 0 }),
          0,
          { { 3, 170, false }, { 5, 170, true }, { 6, 170, true } },
          3,
          1,
          8,
          WalkEnd::EndMarker,
          6 },
        // Without two markers the walk runs to the end, short of the last character.
        { "ACK" + Bytes({ 170, 255 }), 0, { { 3, 170, false } }, 3, 0, 0, WalkEnd::CutShort, 4 },
        { "ACK" + Bytes({ 170, 255, 0 }), 0, { { 3, 170, false } }, 3, 1, 8, WalkEnd::CutShort, 5 },
        { Bytes({ 170, 255, 15 }) + "ACK\r" + Bytes({ 255, 1, 0, 128, 170, 128, 170, 170, 0 }),
          3,
          { { 11, 170, false }, { 13, 170, true }, { 14, 170, true } },
          8,
          1,
          8,
          WalkEnd::EndMarker,
          14 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply);
        Walk w;
        w.run(c.reply);
        const ReplySummary summary = SummarizeReply(ReplyDecoder::LineMode, c.reply);
        EXPECT_EQ(summary.ack, c.ack);
        EXPECT_EQ(summary.walked, c.ack.has_value());
        EXPECT_EQ(summary.markers, c.markers);
        EXPECT_EQ(summary.skippedBytes, c.skipped);
        EXPECT_EQ(summary.rows, c.rows);
        EXPECT_EQ(summary.lastRowPixels, c.lastRowPixels);
        EXPECT_EQ(summary.end, c.end);
        EXPECT_EQ(summary.endOffset, c.endOffset);
        ExpectWalkMatchesDecode(ReplyDecoder::LineMode, c.reply, w.pic);
    }
    // 11 data bytes: a whole row and 8 pixels of the next.
    std::string reply = "ACK" + Bytes({ 170 });
    reply.append(11, '\x0F');
    const ReplySummary summary = SummarizeReply(ReplyDecoder::LineMode, reply + Bytes({ 170, 170, 0 }));
    EXPECT_EQ(summary.rows, 2u);
    EXPECT_EQ(summary.lastRowPixels, 8u);
}

} // namespace
