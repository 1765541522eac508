#include "common/frame_buffer.h"
#include "decode/reply_walk.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A pixel before the first column start, then columns of one pixel each: the
// mouse reads camera columns from 0, the pixel before them as such.
TEST(ReplyWalkTest, CameraColumnsRowsAndByteRoles)
{
    const auto frame = OnePixelColumnsReply;
    // A second frame counts its columns from 0 again.
    const ReplyWalk walk(ReplyDecoder::FrameStream, frame(3) + Bytes({ 0 }) + frame(2).substr(4));
    const auto columnAt = [&](int x, int y) {
        const WalkPixel *pixel = walk.pixelAt(x, y);
        return pixel ? walk.cameraPositionOf(*pixel).column : -99;
    };
    EXPECT_EQ(columnAt(0, 0), -1) << "before the first column start";
    EXPECT_EQ(columnAt(2, 0), 0);
    EXPECT_EQ(columnAt(5, 0), 1);
    EXPECT_EQ(columnAt(7, 0), 2);

    // In line mode: the bit column and the bitmap row, each row two surface
    // pixels high (11 bytes of pixels, as the last byte is never examined).
    const ReplyWalk bitmap(ReplyDecoder::LineMode, "ACK\r" + Bytes({ 170 }) + std::string(12, '\xff'));
    for (const int y : { 2, 3 }) {
        const WalkPixel *pixel = bitmap.pixelAt(3, y);
        ASSERT_NE(pixel, nullptr);
        EXPECT_EQ(bitmap.cameraPositionOf(*pixel).column, 3);
        EXPECT_EQ(bitmap.cameraPositionOf(*pixel).row, 1);
    }

    // What the hex view styles each byte as: passed over (S), a marker (M),
    // a pixel (P), the red byte of a cut pixel (C), never examined (N).
    const auto roles = [](const std::string &reply) {
        const ReplyWalk w(ReplyDecoder::FrameStream, reply);
        std::string text;
        for (std::size_t i = 0; i < reply.size(); ++i)
            text += "NSMPC"[static_cast<int>(w.roleOf(i))];
        return text;
    };
    EXPECT_EQ(roles(frame(1)), "SSSSMPPPMPPPN") << "the last byte is never examined";
    EXPECT_EQ(roles(frame(1).substr(0, 12) + Bytes({ 2, 40, 50 })), "SSSSMPPPMPPPMCN");
}

// The buffer variant clears the picture at each frame start: the walk keeps
// the pixels of the last frame only, as the picture does.
TEST(ReplyWalkTest, AFrameStartInTheBufferDropsThePixelsBeforeIt)
{
    std::string buffer = Bytes({ 0, 1, 2, 10, 20, 30, 1, 2, 40, 50, 60, 3 });
    buffer.resize(kFrameBufferSize, '\0');
    const ReplyWalk walk(ReplyDecoder::FrameBuffer, buffer);
    ASSERT_EQ(walk.pixels().size(), 1u);
    EXPECT_EQ(walk.pixels()[0].offset, 8u);
    EXPECT_EQ(walk.summary().pixels, 2u) << "the summary counts every pixel drawn";
}

} // namespace
