#include "frames/expected_frame.h"

#include "frames/frame_compare.h"

#include <cstdlib>
#include <set>
#include <utility>

namespace {

// The camera's column and row of a surface pixel. A color frame's first
// column marker moves x to 2, so camera column c lies at x = 2 + 2c.
std::pair<std::int64_t, std::int64_t> CameraPixelAt(std::int32_t x, std::int32_t y, CameraPixelShape shape)
{
    if (shape == CameraPixelShape::TwoWide) {
        const std::int64_t fromFirst = static_cast<std::int64_t>(x) - 2;
        return { fromFirst >= 0 ? fromFirst / 2 : (fromFirst - 1) / 2, y };
    }
    return { x, y / 2 };
}

bool Within(ColorValue a, ColorValue b, int tolerance)
{
    return std::abs(static_cast<int>(RedOf(a)) - static_cast<int>(RedOf(b))) <= tolerance
        && std::abs(static_cast<int>(GreenOf(a)) - static_cast<int>(GreenOf(b))) <= tolerance
        && std::abs(static_cast<int>(BlueOf(a)) - static_cast<int>(BlueOf(b))) <= tolerance;
}

} // namespace

FrameMismatch CompareWithExpected(const DrawnPixels &drawn, const DrawnPixels &expected, int tolerance,
                                  CameraPixelShape shape, std::size_t listLimit)
{
    FrameMismatch mismatch;
    std::set<std::pair<std::int64_t, std::int64_t>> seen;
    ForEachDrawnInEither(drawn, expected,
                         [&](std::int32_t x, std::int32_t y, const ColorValue *inDrawn, const ColorValue *inExpected) {
                             if (inDrawn && inExpected && Within(*inDrawn, *inExpected, tolerance))
                                 return;
                             ++mismatch.surfacePixels;
                             const auto [column, row] = CameraPixelAt(x, y, shape);
                             if (!seen.insert({ column, row }).second)
                                 return;
                             if (mismatch.listed.size() < listLimit) {
                                 FrameMismatch::Pixel pixel { column, row, x, y, std::nullopt, std::nullopt };
                                 if (inExpected)
                                     pixel.expected = *inExpected;
                                 if (inDrawn)
                                     pixel.drawn = *inDrawn;
                                 mismatch.listed.push_back(pixel);
                             }
                         });
    mismatch.cameraPixels = seen.size();
    return mismatch;
}
