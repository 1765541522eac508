#pragma once

#include "decode/reply_walk.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

// Checks a ReplyWalk of bytes against what the decoder drew on pic when run
// on the same bytes: as many pixels, and every visible surface pixel traced
// to a camera pixel of its color (none where the surface kept no paint).
inline void ExpectWalkMatchesDecode(ReplyDecoder decoder, std::string_view bytes, const RecordingSurface &pic)
{
    const ReplyWalk walk(decoder, bytes);
    EXPECT_EQ(2 * walk.summary().pixels, pic.calls.size());
    for (int y = 0; y < PictureSurface::kHeight; ++y) {
        for (int x = 0; x < PictureSurface::kWidth; ++x) {
            const WalkPixel *source = walk.pixelAt(x, y);
            if (pic.at(x, y) == RecordingSurface::kBackground) {
                ASSERT_EQ(source, nullptr) << x << "," << y;
            } else {
                ASSERT_NE(source, nullptr) << x << "," << y;
                ASSERT_EQ(source->color, pic.at(x, y)) << x << "," << y;
                const auto from = walk.pixelsFrom(source->offset);
                ASSERT_NE(std::find_if(from.begin(), from.end(), [&](const WalkPixel &p) { return &p == source; }),
                          from.end());
            }
        }
    }
}
