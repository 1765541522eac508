#include "tarqis/dump_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

using tarqis::DumpReader;
using Bytes = std::vector<std::uint8_t>;
using Status = DumpReader::Status;

namespace {

constexpr std::size_t kCapacity = 40001;
constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xA5;

// "ACK\r", then a frame of the given columns (each a list of r, g, b values),
// then the end marker.
Bytes frameReply(std::initializer_list<std::initializer_list<std::uint8_t>> columns)
{
    Bytes out { 'A', 'C', 'K', '\r', 1 };
    for (const auto &column : columns) {
        out.push_back(2);
        out.insert(out.end(), column.begin(), column.end());
    }
    out.push_back(3);
    return out;
}

// A buffer of kCapacity bytes followed by guard bytes; the reader is given
// only the first kCapacity.
struct Target {
    explicit Target(std::size_t capacity = kCapacity)
        : capacity(capacity), storage(capacity + kGuard, kGuardByte), reader(storage.data(), capacity)
    {
    }

    std::size_t feed(const Bytes &bytes) { return reader.feed(bytes.data(), bytes.size()); }

    bool guardsIntact() const
    {
        for (std::size_t i = capacity; i < storage.size(); ++i)
            if (storage[i] != kGuardByte)
                return false;
        return true;
    }

    Bytes written() const { return Bytes(storage.begin(), storage.begin() + static_cast<long>(reader.size())); }

    std::size_t capacity;
    Bytes storage;
    DumpReader reader;
};

// Feeds bytes in the given chunk sizes (the last chunk takes the rest).
void feedInChunks(Target &target, const Bytes &bytes, const std::vector<std::size_t> &sizes)
{
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        if (at >= bytes.size())
            break;
        size = std::min(size, bytes.size() - at);
        target.reader.feed(bytes.data() + at, size);
        at += size;
    }
    if (at < bytes.size())
        target.reader.feed(bytes.data() + at, bytes.size() - at);
}

void expectSameResult(const Target &expected, const Target &actual)
{
    EXPECT_EQ(expected.reader.status(), actual.reader.status());
    EXPECT_EQ(expected.reader.size(), actual.reader.size());
    EXPECT_EQ(expected.storage, actual.storage);
}

} // namespace

TEST(DumpReader, CompleteFrameStopsAtEndMarkerAndLeavesTheRestUntouched)
{
    const Bytes frame = frameReply({ { 10, 20, 30, 40, 50, 60 }, { 70, 80, 90 } });
    Bytes reply = frame;
    reply.push_back('\r');
    reply.push_back(':');

    Target target;
    EXPECT_EQ(target.feed(reply), frame.size());
    EXPECT_EQ(target.reader.status(), Status::Complete);
    EXPECT_TRUE(target.reader.finished());
    EXPECT_EQ(target.written(), frame);
    // The prompt after the end marker is not written.
    EXPECT_EQ(target.storage[frame.size()], kGuardByte);

    // Once complete, nothing more is taken.
    EXPECT_EQ(target.feed(Bytes { 1, 2, 3 }), 0u);
    EXPECT_EQ(target.reader.size(), frame.size());
}

TEST(DumpReader, MarkerValuesInGreenOrBlueArePixelData)
{
    // Green 3, blue 3, green 1, blue 2, and a red 0 whose green and blue are 3.
    const Bytes frame = frameReply({ { 10, 3, 20, 30, 40, 3 }, { 50, 1, 2, 0, 3, 3 } });

    Target target;
    EXPECT_EQ(target.feed(frame), frame.size());
    EXPECT_EQ(target.reader.status(), Status::Complete);
    EXPECT_EQ(target.reader.size(), frame.size());

    // Without its end marker the same frame is still being read.
    Target cut;
    const Bytes withoutEnd(frame.begin(), frame.end() - 1);
    cut.feed(withoutEnd);
    EXPECT_EQ(cut.reader.status(), Status::Reading);
    EXPECT_EQ(cut.written(), withoutEnd);
}

TEST(DumpReader, MarkersAtStepPositionsInsideAFrame)
{
    // A second frame start and column markers at step positions keep the
    // reader at a step; the 3 after them ends the frame.
    const Bytes reply { 'A', 'C', 'K', '\r', 1, 2, 9, 9, 9, 1, 2, 2, 3, 0xEE };
    Target target;
    EXPECT_EQ(target.feed(reply), reply.size() - 1);
    EXPECT_EQ(target.reader.status(), Status::Complete);
}

TEST(DumpReader, BytesBeforeTheFrameStartAreCopiedButNotInterpreted)
{
    // An end marker and column markers before the frame start do not end
    // anything; a stray 3 in the preamble is not the end.
    Bytes reply { 3, 2, 3, 'A', 'C', 'K', '\r', 3 };
    const std::size_t preamble = reply.size();
    const Bytes frame = frameReply({ { 10, 20, 30 } });
    // The frame without its own "ACK\r". (Copied into room made first: GCC 12
    // warns, wrongly, -Warray-bounds on inserting a range at the end here.)
    reply.resize(preamble + frame.size() - 4);
    std::copy(frame.begin() + 4, frame.end(), reply.begin() + static_cast<std::ptrdiff_t>(preamble));

    Target target;
    EXPECT_EQ(target.feed(reply), reply.size());
    EXPECT_EQ(target.reader.status(), Status::Complete);
    EXPECT_EQ(target.written(), reply);
    EXPECT_EQ(target.storage[preamble], 1);

    // A reply that never starts a frame is never complete.
    Target noFrame;
    noFrame.feed(Bytes { 'A', 'C', 'K', '\r', 3, 3, 2, 3 });
    EXPECT_EQ(noFrame.reader.status(), Status::Reading);
    EXPECT_EQ(noFrame.reader.size(), 8u);
}

TEST(DumpReader, TruncatedFrameIsIncomplete)
{
    const Bytes frame = frameReply({ { 10, 20, 30, 40, 50, 60 } });
    // Cut inside a pixel, at a step, and just before the end marker.
    for (std::size_t length :
         { std::size_t { 0 }, std::size_t { 4 }, std::size_t { 7 }, std::size_t { 9 }, frame.size() - 1 }) {
        SCOPED_TRACE(length);
        Target target;
        const Bytes cut(frame.begin(), frame.begin() + static_cast<long>(length));
        EXPECT_EQ(target.feed(cut), length);
        EXPECT_EQ(target.reader.status(), Status::Reading);
        EXPECT_FALSE(target.reader.finished());
        EXPECT_EQ(target.written(), cut);
    }
}

TEST(DumpReader, OversizeStreamStopsAtCapacityWithoutWritingPastIt)
{
    // A frame of pixels that runs well past the buffer, then an end marker.
    Bytes reply { 'A', 'C', 'K', '\r', 1, 2 };
    while (reply.size() < 50000)
        reply.insert(reply.end(), { 100, 3, 3 });
    reply.push_back(3);

    Target target;
    EXPECT_EQ(target.feed(reply), kCapacity);
    EXPECT_EQ(target.reader.status(), Status::Full);
    EXPECT_EQ(target.reader.size(), kCapacity);
    EXPECT_TRUE(target.guardsIntact());
    EXPECT_EQ(target.written(), Bytes(reply.begin(), reply.begin() + kCapacity));
    EXPECT_EQ(target.feed(Bytes { 3 }), 0u);
    EXPECT_TRUE(target.guardsIntact());
}

TEST(DumpReader, EndMarkerInTheLastByteOfTheBufferCompletes)
{
    // Preamble sized so the frame's end marker lands on the buffer's last
    // byte (index 40000), or one byte beyond it.
    const Bytes frame { 1, 2, 10, 20, 30, 3 };
    for (const auto &[padding, expected] : { std::pair { kCapacity - frame.size(), Status::Complete },
                                             std::pair { kCapacity - frame.size() + 1, Status::Full } }) {
        SCOPED_TRACE(padding);
        Bytes reply(padding, 'x');
        reply.insert(reply.end(), frame.begin(), frame.end());
        Target target;
        EXPECT_EQ(target.feed(reply), kCapacity);
        EXPECT_EQ(target.reader.status(), expected);
        EXPECT_TRUE(target.guardsIntact());
    }
}

TEST(DumpReader, ChunkSplitsGiveTheSameResultAsOneFeed)
{
    // Markers in green and blue, a preamble 3, and a trailing prompt, so that
    // splits land inside pixels, between a red byte and its 3s, and around
    // the end marker.
    Bytes reply { 3, 'A', 'C', 'K', '\r', 1, 2, 10, 3, 3, 20, 1, 2, 2, 0, 3, 3, 30, 2, 1, 3, '\r', ':' };
    Target whole;
    whole.feed(reply);
    ASSERT_EQ(whole.reader.status(), Status::Complete);

    // Every split into two and three pieces.
    for (std::size_t a = 0; a <= reply.size(); ++a) {
        for (std::size_t b = 0; a + b <= reply.size(); ++b) {
            SCOPED_TRACE(testing::Message() << "split " << a << " + " << b);
            Target split;
            feedInChunks(split, reply, { a, b });
            expectSameResult(whole, split);
        }
    }

    // The same with a buffer that fills up in the middle of the frame.
    Target wholeSmall(12);
    wholeSmall.feed(reply);
    ASSERT_EQ(wholeSmall.reader.status(), Status::Full);
    for (std::size_t a = 0; a <= reply.size(); ++a) {
        SCOPED_TRACE(testing::Message() << "small buffer, split at " << a);
        Target split(12);
        feedInChunks(split, reply, { a });
        expectSameResult(wholeSmall, split);
        EXPECT_TRUE(split.guardsIntact());
    }
}
