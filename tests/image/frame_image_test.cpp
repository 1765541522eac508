#include "image/frame_image.h"

#include <gtest/gtest.h>

namespace {

// A frame far wider than the image limit (a stream that pushes x out) gives
// an image cut at the limit, which says so; pixels never drawn stay
// transparent.
TEST(FrameImageTest, AFrameBeyondTheLimitIsCutAndSaysSo)
{
    DrawnPixels pixels;
    for (std::int64_t x = 0; x < 120002; x += 2)
        pixels.paint(x, 0, MakeColor(0x10, 0x20, 0x30));
    const FrameImage image = RenderFrame(pixels);
    EXPECT_EQ(image.image.size(), QSize(4096, 1));
    EXPECT_TRUE(image.cut());
    EXPECT_EQ(CutNotice(image), "Shows 4,096 x 1 of 120,001 x 1 surface pixels.");
    EXPECT_EQ(image.image.pixel(4094, 0), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(qAlpha(image.image.pixel(4095, 0)), 0);

    EXPECT_TRUE(RenderFrame(DrawnPixels {}).image.isNull());
}

} // namespace
