#include "decode/frame_dump_decoder.h"
#include "decode/reply_summary.h"
#include "support/fakes.h"
#include "support/walk_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

using Pixel = RecordingSurface::Pixel;

const ColorValue kFirst = MakeColor(10, 20, 30);
const ColorValue kSecond = MakeColor(40, 50, 60);

// "ACK", CR, frame start, column start, two pixels, end marker.
const std::string kTwoPixelDump = "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50, 60, 3 });

const std::vector<Pixel> kTwoPixelCalls = {
    { 2, 0, kFirst },
    { 3, 0, kFirst },
    { 2, 1, kSecond },
    { 3, 1, kSecond },
};

// ---- Stream variant ----

TEST(FrameStream, DrawsEachPixelTwiceFromTheFirstColumnMarker)
{
    for (const std::string &reply : { kTwoPixelDump + "x", kTwoPixelDump }) {
        RecordingSurface pic;
        FakeEventPump events;
        DecodeFrameStream(reply, pic, events);
        EXPECT_EQ(pic.calls, kTwoPixelCalls) << "reply length " << reply.size();
        EXPECT_EQ(pic.clears, 0);
        EXPECT_EQ(pic.unitSwitches, 0);
    }
}

TEST(FrameStream, ProcessesEventsBeforeEveryStep)
{
    // Steps: A, C, K, CR, frame start, column start, pixel, pixel, end marker;
    // without the trailing byte the end marker is never a step.
    for (const auto &[reply, steps] : { std::pair { kTwoPixelDump + "x", 9 }, std::pair { kTwoPixelDump, 8 } }) {
        RecordingSurface pic;
        FakeEventPump events;
        std::vector<std::size_t> drawnAtEachStep;
        events.hook = [&] { drawnAtEachStep.push_back(pic.calls.size()); };
        DecodeFrameStream(reply, pic, events);
        EXPECT_EQ(events.calls, steps);
        std::vector<std::size_t> expected(static_cast<std::size_t>(steps), 0);
        expected[7] = 2; // the second pixel's step comes after the first pixel
        if (steps > 8)
            expected[8] = 4;
        EXPECT_EQ(drawnAtEachStep, expected);
    }
}

TEST(FrameStream, CancellationFromTheEventPumpStopsTheDecode)
{
    RecordingSurface pic;
    FakeEventPump events;
    events.hook = [&] {
        if (events.calls == 8)
            throw TestCancelled();
    };
    EXPECT_THROW(DecodeFrameStream(kTwoPixelDump + "x", pic, events), TestCancelled);
    EXPECT_EQ(pic.calls.size(), 2u);
}

TEST(FrameStream, SecondFrameStartRepaintsFromOriginWithoutClearing)
{
    const ColorValue third = MakeColor(70, 80, 90);
    const ColorValue fourth = MakeColor(100, 110, 120);
    const std::string reply = "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50, 60, 1, 70, 80, 90, 2, 100, 110, 120, 3, 0 });
    RecordingSurface pic;
    FakeEventPump events;
    DecodeFrameStream(reply, pic, events);

    std::vector<Pixel> expected = kTwoPixelCalls;
    expected.insert(expected.end(), { { 0, 0, third }, { 1, 0, third }, { 2, 0, fourth }, { 3, 0, fourth } });
    EXPECT_EQ(pic.calls, expected);
    EXPECT_EQ(pic.clears, 0);
    EXPECT_EQ(pic.at(2, 0), fourth);
    EXPECT_EQ(pic.at(2, 1), kSecond); // left over from the first frame
}

TEST(FrameStream, BytesOutsideAFrameCostAnExtraStep)
{
    FakeEventPump events;
    {
        // The column marker swallows the frame start after it; the next
        // column marker swallows the red byte, and the rest is skipped.
        RecordingSurface pic;
        DecodeFrameStream("ACK\r" + Bytes({ 2, 1, 2, 10, 20, 30, 3, 0 }), pic, events);
        EXPECT_TRUE(pic.untouched());
    }
    {
        // With a filler byte for it to swallow, the frame start is seen.
        RecordingSurface pic;
        DecodeFrameStream("ACK\r" + Bytes({ 2, 9, 1, 2, 10, 20, 30, 3, 0 }), pic, events);
        EXPECT_EQ(pic.calls, (std::vector<Pixel> { { 2, 0, kFirst }, { 3, 0, kFirst } }));
    }
    {
        // After an end marker the scan goes on: the byte right behind the 3
        // is the next step (the extra step passes the 3 itself), so a frame
        // start there is taken; pixel bytes after the next end are skipped.
        RecordingSurface pic;
        DecodeFrameStream("ACK\r" + Bytes({ 1, 3, 1, 40, 50, 60, 3, 10, 20, 30, 0 }), pic, events);
        EXPECT_EQ(pic.calls, (std::vector<Pixel> { { 0, 0, kSecond }, { 1, 0, kSecond } }));
    }
}

TEST(FrameStream, WithoutFrameStartNothingIsDrawn)
{
    RecordingSurface pic;
    FakeEventPump events;
    DecodeFrameStream("ACK\r" + Bytes({ 10, 20, 30, 40, 50, 60, 70, 3, 0 }), pic, events);
    DecodeFrameStream("", pic, events);
    EXPECT_TRUE(pic.untouched());
}

TEST(FrameStream, PixelCutShortByTheEndIsDroppedWithoutReadingPastIt)
{
    // Exact-size heap copies so that a read past the end is caught by ASan.
    const auto decode = [](const std::string &bytes, RecordingSurface &pic, FakeEventPump &events) {
        const std::unique_ptr<char[]> copy(new char[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), copy.get());
        DecodeFrameStream(std::string_view(copy.get(), bytes.size()), pic, events);
    };
    {
        // Blue missing: the second pixel is dropped.
        RecordingSurface pic;
        FakeEventPump events;
        decode("ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50 }), pic, events);
        EXPECT_EQ(pic.calls, (std::vector<Pixel> { { 2, 0, kFirst }, { 3, 0, kFirst } }));
    }
    {
        // A pixel may read the reply's last byte as its blue.
        RecordingSurface pic;
        FakeEventPump events;
        decode("ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50, 60 }), pic, events);
        EXPECT_EQ(pic.calls, kTwoPixelCalls);
    }
}

TEST(FrameStream, SaysWhetherTheLastFrameMetItsEndMarker)
{
    const struct {
        std::string reply;
        WalkEnd end;
    } cases[] = {
        { kTwoPixelDump + "\r:", WalkEnd::EndPassed },
        { kTwoPixelDump, WalkEnd::EndPassed }, // the marker is the last byte: arrived, though never a step
        { "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 3, 1, 2, 40, 50, 60, 0 }), WalkEnd::CutShort }, // a second frame, cut
        { "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50 }), WalkEnd::CutPixel }, // inside a pixel
        { "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50, 60 }), WalkEnd::CutShort },
        { "ACK\r" + Bytes({ 10, 20, 30, 3, 0 }), WalkEnd::NoStart },
        { "", WalkEnd::NoStart },
    };
    for (const auto &c : cases) {
        RecordingSurface pic;
        FakeEventPump events;
        EXPECT_EQ(DecodeFrameStream(c.reply, pic, events), c.end) << "reply of " << c.reply.size() << " bytes";
    }
}

TEST(FrameStream, CoordinatesGoBeyondSixteenBitsAndAreClippedByTheSurface)
{
    // 16,400 column markers carry x to 32,800; 33,000 pixels carry y past 32,767.
    std::string reply = "ACK\r" + Bytes({ 1 });
    reply.append(16400, '\x02');
    for (int i = 0; i < 33000; ++i)
        reply += Bytes({ 10, 20, 30 });
    reply += Bytes({ 3, 0 });
    RecordingSurface pic;
    FakeEventPump events;
    DecodeFrameStream(reply, pic, events);
    ASSERT_EQ(pic.calls.size(), 66000u);
    EXPECT_EQ(pic.calls.front(), (Pixel { 32800, 0, kFirst }));
    EXPECT_EQ(pic.calls.back(), (Pixel { 32801, 32999, kFirst }));
    EXPECT_EQ(std::count(pic.pixels.begin(), pic.pixels.end(), RecordingSurface::kBackground),
              PictureSurface::kWidth * PictureSurface::kHeight);
}

// ---- Buffer variant ----

class FrameBuffer : public ::testing::Test {
protected:
    // Writes bytes from index 0, as the driver library does.
    void fill(const std::string &bytes) { std::copy(bytes.begin(), bytes.end(), buffer.begin()); }
    void decode() { DecodeFrameBuffer(buffer, pic, log); }

    std::array<std::uint8_t, kFrameBufferSize> buffer {};
    RecordingSurface pic;
    FakeStatusLog log;
};

TEST_F(FrameBuffer, DrawsTheFrameAndLogsCompletionWithoutLineBreak)
{
    fill("ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50, 60, 3, 1, 70, 80, 90 }));
    decode();
    EXPECT_EQ(pic.calls, kTwoPixelCalls);
    EXPECT_EQ(pic.clears, 1);
    EXPECT_EQ(pic.unitSwitches, 0);
    EXPECT_EQ(log.text, "Image Dump Complete"); // stopped at the first end marker
}

TEST_F(FrameBuffer, FrameStartAtIndexZeroIsNeverSeen)
{
    fill(Bytes({ 1, 2, 10, 20, 30, 3 }));
    decode();
    EXPECT_TRUE(pic.untouched());
    EXPECT_EQ(log.text, "Image Dump Complete");

    // A later frame start is.
    RecordingSurface again;
    fill(Bytes({ 1, 2, 10, 20, 30, 1, 40, 50, 60, 3 }));
    DecodeFrameBuffer(buffer, again, log);
    EXPECT_EQ(again.calls, (std::vector<Pixel> { { 2, 0, kSecond }, { 3, 0, kSecond } }));
}

TEST_F(FrameBuffer, FrameStartClearsButKeepsPosition)
{
    fill(Bytes({ 0, 1, 2, 10, 20, 30, 1, 40, 50, 60, 3 }));
    decode();
    EXPECT_EQ(pic.calls,
              (std::vector<Pixel> { { 2, 0, kFirst }, { 3, 0, kFirst }, { 2, 1, kSecond }, { 3, 1, kSecond } }));
    EXPECT_EQ(pic.clears, 2);
    EXPECT_EQ(pic.at(2, 0), RecordingSurface::kBackground);
    EXPECT_EQ(pic.at(2, 1), kSecond);
}

TEST_F(FrameBuffer, OnlyTheRedByteIsTestedForMarkers)
{
    // Green 1 and blue 3 are color; a red 2 is a column marker; bytes before
    // the frame start cost one step each.
    fill(Bytes({ 0, 9, 9, 1, 2, 200, 1, 3, 2, 7, 2, 1, 3 }));
    decode();
    const ColorValue a = MakeColor(200, 1, 3);
    const ColorValue b = MakeColor(7, 2, 1);
    EXPECT_EQ(pic.calls, (std::vector<Pixel> { { 2, 0, a }, { 3, 0, a }, { 4, 0, b }, { 5, 0, b } }));
    EXPECT_EQ(log.text, "Image Dump Complete");
}

TEST_F(FrameBuffer, EndMarkerBeforeAnyFrameStartStopsTheScan)
{
    fill(Bytes({ 0, 3, 1, 2, 10, 20, 30, 3 }));
    decode();
    EXPECT_TRUE(pic.untouched());
    EXPECT_EQ(log.text, "Image Dump Complete");
}

TEST_F(FrameBuffer, ScanEndsAtLastIndexButFinishesThePixelStartingThere)
{
    // One long column from index 3: pixel n starts at 3 + 3n, so pixel 11468
    // starts at the last examined index and reads the two bytes after it.
    fill(Bytes({ 0, 1, 2 }));
    for (std::size_t i = 3; i + 2 <= kLastScannedFrameBufferIndex + 2; i += 3) {
        buffer[i] = 16;
        buffer[i + 1] = 128;
        buffer[i + 2] = 240;
    }
    buffer[kLastScannedFrameBufferIndex] = 9;
    buffer[kLastScannedFrameBufferIndex + 1] = 1;
    buffer[kLastScannedFrameBufferIndex + 2] = 3;
    buffer[kLastScannedFrameBufferIndex + 3] = 3; // never examined
    decode();
    ASSERT_EQ(pic.calls.size(), 2u * 11469u);
    EXPECT_EQ(pic.calls.back(), (Pixel { 3, 11468, MakeColor(9, 1, 3) }));
    EXPECT_EQ(log.text, "");
}

TEST_F(FrameBuffer, EndMarkerJustPastTheLastIndexIsNotSeen)
{
    // Pixels from index 4 end exactly at the last index; the 3 after them is
    // beyond the scan, so nothing is logged.
    fill(Bytes({ 0, 1, 2, 2 }));
    for (std::size_t i = 4; i <= kLastScannedFrameBufferIndex; i += 3) {
        buffer[i] = 16;
        buffer[i + 1] = 3;
        buffer[i + 2] = 2;
    }
    buffer[kLastScannedFrameBufferIndex + 1] = 3;
    decode();
    EXPECT_EQ(pic.calls.size(), 2u * 11468u);
    EXPECT_EQ(log.text, "");
}

TEST_F(FrameBuffer, SaysWhetherTheScanMetAnEndMarker)
{
    const struct {
        std::string bytes;
        WalkEnd end;
    } cases[] = {
        { "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 3 }), WalkEnd::EndMarker },
        { Bytes({ 0, 3 }), WalkEnd::EndMarker }, // logged, though no frame started
        { "ACK\r" + Bytes({ 1, 2, 10, 20, 30 }), WalkEnd::CutShort },
        { Bytes({ 1, 2, 10, 20, 30, 3 }), WalkEnd::EndMarker }, // the start at index 0 is not seen, the end is
        { "", WalkEnd::NoStart },
    };
    for (const auto &c : cases) {
        std::fill(buffer.begin(), buffer.end(), 0);
        fill(c.bytes);
        log.text.clear();
        EXPECT_EQ(DecodeFrameBuffer(buffer, pic, log), c.end) << c.bytes.size() << " bytes";
        EXPECT_EQ(log.text == "Image Dump Complete", c.end == WalkEnd::EndMarker);
    }
}

TEST_F(FrameBuffer, AllZeroBufferDrawsAndLogsNothing)
{
    decode();
    EXPECT_TRUE(pic.untouched());
    EXPECT_EQ(log.text, "");
}

// ---- What the walk reports, as the frame inspector summarises it ----

struct WalkCase {
    const char *name;
    ReplyDecoder decoder;
    std::string bytes; // a frame buffer's from index 0
    std::vector<MarkerMet> markers;
    std::vector<FrameSpan> frames;
    std::size_t skipped;
    std::size_t swallowed;
    WalkEnd end;
    std::size_t endOffset;
};

FrameSpan Span(std::size_t start, std::optional<std::size_t> end, std::size_t columns, std::size_t rows,
               std::size_t pixels, std::size_t beforeFirstColumn = 0)
{
    FrameSpan span;
    span.start = start;
    span.end = end;
    span.columns = columns;
    span.minRows = span.maxRows = rows;
    span.pixels = pixels;
    span.pixelsBeforeFirstColumn = beforeFirstColumn;
    return span;
}

constexpr auto kStream = ReplyDecoder::FrameStream;
constexpr auto kBuffer = ReplyDecoder::FrameBuffer;

const WalkCase kWalkCases[] = {
    { "end marker as the last byte is never examined",
      kStream,
      kTwoPixelDump,
      { { 4, 1, false }, { 5, 2, true } },
      { Span(4, std::nullopt, 1, 2, 2) },
      4,
      0,
      WalkEnd::EndPassed,
      12 },
    { "end marker met, the byte after it never examined",
      kStream,
      kTwoPixelDump + "x",
      { { 4, 1, false }, { 5, 2, true }, { 12, 3, true } },
      { Span(4, 12, 1, 2, 2) },
      4,
      0,
      WalkEnd::EndPassed,
      13 },
    { "column starts outside a frame swallow the byte after them",
      kStream,
      "ACK\r" + Bytes({ 2, 1, 2, 10, 20, 30, 3, 0 }),
      { { 4, 2, false }, { 6, 2, false }, { 10, 3, false } },
      {},
      6,
      2,
      WalkEnd::NoStart,
      11 },
    { "after an end marker the walk goes on and starts a new frame",
      kStream,
      "ACK\r" + Bytes({ 1, 3, 10, 20, 30, 1, 40, 50, 60, 0 }),
      { { 4, 1, false }, { 5, 3, true }, { 9, 1, false } },
      { Span(4, 5, 0, 0, 0), Span(9, std::nullopt, 0, 0, 1, 1) },
      7,
      0,
      WalkEnd::CutShort,
      13 },
    { "pixel cut short by the reply's end",
      kStream,
      "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50 }),
      { { 4, 1, false }, { 5, 2, true } },
      { Span(4, std::nullopt, 1, 1, 1) },
      4,
      0,
      WalkEnd::CutPixel,
      9 },
    { "buffer: a frame start at index 0 is never seen",
      kBuffer,
      Bytes({ 1, 2, 10, 20, 30, 3 }),
      { { 1, 2, false }, { 5, 3, false } },
      {},
      3,
      0,
      WalkEnd::EndMarker,
      5 },
    { "buffer: only red bytes are tested for markers",
      kBuffer,
      Bytes({ 0, 9, 9, 1, 2, 200, 1, 3, 2, 7, 2, 1, 3 }),
      { { 3, 1, false }, { 4, 2, true }, { 8, 2, true }, { 12, 3, true } },
      { Span(3, 12, 2, 1, 2) },
      2,
      0,
      WalkEnd::EndMarker,
      12 },
    { "buffer: a second frame start clears and keeps the position",
      kBuffer,
      Bytes({ 0, 1, 2, 10, 20, 30, 1, 40, 50, 60, 3 }),
      { { 1, 1, false }, { 2, 2, true }, { 6, 1, true }, { 10, 3, true } },
      { Span(1, std::nullopt, 1, 1, 1), Span(6, 10, 0, 0, 1, 1) },
      0,
      0,
      WalkEnd::EndMarker,
      10 },
    { "buffer: no end marker up to the last index",
      kBuffer,
      Bytes({ 0, 1, 2, 10, 20, 30 }),
      { { 1, 1, false }, { 2, 2, true } },
      { Span(1, std::nullopt, 1, 11469, 11469) },
      0,
      0,
      WalkEnd::CutShort,
      34410 },
};

TEST(FrameWalk, SummaryAndPixelSourcesFollowTheDecoder)
{
    for (const WalkCase &c : kWalkCases) {
        SCOPED_TRACE(c.name);
        std::string bytes = c.bytes;
        RecordingSurface pic;
        if (c.decoder == kBuffer) {
            bytes.resize(kFrameBufferSize, '\0');
            FakeStatusLog log;
            DecodeFrameBuffer(std::span<const std::uint8_t, kFrameBufferSize>(
                                  reinterpret_cast<const std::uint8_t *>(bytes.data()), kFrameBufferSize),
                              pic, log);
        } else {
            FakeEventPump events;
            DecodeFrameStream(bytes, pic, events);
        }
        const ReplySummary summary = SummarizeReply(c.decoder, bytes);
        EXPECT_EQ(summary.markers, c.markers);
        EXPECT_EQ(summary.frames, c.frames);
        EXPECT_EQ(summary.skippedBytes, c.skipped);
        EXPECT_EQ(summary.swallowedBytes, c.swallowed);
        EXPECT_EQ(summary.end, c.end);
        EXPECT_EQ(summary.endOffset, c.endOffset);
        EXPECT_EQ(summary.cutPixel.has_value(), c.end == WalkEnd::CutPixel);
        EXPECT_EQ(summary.frameStartAtIndexZero, c.decoder == kBuffer && c.bytes[0] == 1);
        ExpectWalkMatchesDecode(c.decoder, bytes, pic);
    }
}

// ---- Both variants on a whole frame ----

TEST(FrameDump, BothVariantsDrawTheSameFullFrame)
{
    std::string dump = "ACK\r" + Bytes({ 1 });
    for (int column = 0; column < 80; ++column) {
        dump += Bytes({ 2 });
        for (int row = 0; row < 143; ++row)
            dump += Bytes({ 16 + column, 16 + row, 240 - column });
    }
    dump += Bytes({ 3 }) + "\r:";
    ASSERT_EQ(dump.size(), 34408u);

    RecordingSurface fromStream;
    FakeEventPump events;
    DecodeFrameStream(dump, fromStream, events);

    std::array<std::uint8_t, kFrameBufferSize> buffer {};
    std::copy(dump.begin(), dump.end(), buffer.begin());
    RecordingSurface fromBuffer;
    FakeStatusLog log;
    DecodeFrameBuffer(buffer, fromBuffer, log);

    EXPECT_EQ(fromStream.calls.size(), 2u * 80u * 143u);
    EXPECT_EQ(fromStream.calls, fromBuffer.calls);
    EXPECT_EQ(log.text, "Image Dump Complete");
    for (const auto &[decoder, end] : { std::pair { ReplyDecoder::FrameStream, WalkEnd::EndPassed },
                                        std::pair { ReplyDecoder::FrameBuffer, WalkEnd::EndMarker } }) {
        const std::string_view bytes = decoder == ReplyDecoder::FrameStream
            ? std::string_view(dump)
            : std::string_view(reinterpret_cast<const char *>(buffer.data()), buffer.size());
        const ReplySummary summary = SummarizeReply(decoder, bytes);
        FrameSpan frame;
        frame.start = 4;
        frame.end = 34405;
        frame.columns = 80;
        frame.minRows = frame.maxRows = 143;
        frame.pixels = 80 * 143;
        EXPECT_EQ(summary.frames, std::vector<FrameSpan> { frame });
        EXPECT_EQ(summary.end, end);
        EXPECT_EQ(summary.endOffset, decoder == ReplyDecoder::FrameStream ? 34407u : 34405u);
    }
    // Camera column 64 lands at x = 130, 131; column 65 only at its left half.
    EXPECT_EQ(fromStream.at(131, 116), MakeColor(16 + 64, 16 + 116, 240 - 64));
    EXPECT_EQ(fromStream.at(132, 0), MakeColor(16 + 65, 16, 240 - 65));
}

} // namespace
