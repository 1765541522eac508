#include "frames/frame_compare.h"

namespace {

bool Before(const DrawnPixel &a, const DrawnPixel &b)
{
    return a.y != b.y ? a.y < b.y : a.x < b.x;
}

// The merge of two row-by-row pixel lists; visit gets null for the side that
// lacks a position.
template <typename Visit> void Merge(const DrawnPixels &first, const DrawnPixels &second, Visit &&visit)
{
    const auto &a = first.pixels();
    const auto &b = second.pixels();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && Before(a[i], b[j]))) {
            visit(a[i].x, a[i].y, &a[i].color, nullptr);
            ++i;
        } else if (i == a.size() || Before(b[j], a[i])) {
            visit(b[j].x, b[j].y, nullptr, &b[j].color);
            ++j;
        } else {
            visit(a[i].x, a[i].y, &a[i].color, &b[j].color);
            ++i;
            ++j;
        }
    }
}

} // namespace

FrameDifference CompareFrames(const DrawnPixels &first, const DrawnPixels &second)
{
    FrameDifference difference;
    Merge(first, second, [&](std::int32_t, std::int32_t, const ColorValue *inFirst, const ColorValue *inSecond) {
        ++difference.compared;
        if (!inFirst || !inSecond || *inFirst != *inSecond)
            ++difference.differing;
    });
    return difference;
}

void ForEachDrawnInEither(const DrawnPixels &first, const DrawnPixels &second,
                          const std::function<void(std::int32_t x, std::int32_t y, const ColorValue *inFirst,
                                                   const ColorValue *inSecond)> &visit)
{
    Merge(first, second, visit);
}

CameraPixelComparison CompareCameraPixels(const DrawnPixels &first, const DrawnPixels &second, std::size_t listLimit)
{
    CameraPixelComparison result;
    bool open = false; // a camera pixel is being gathered
    bool differs = false;
    CameraPixelDifference current;
    const auto flush = [&] {
        if (!open)
            return;
        ++result.compared;
        if (differs) {
            ++result.differing;
            if (result.listed.size() < listLimit)
                result.listed.push_back(current);
        }
        open = false;
    };
    Merge(first, second, [&](std::int32_t x, std::int32_t y, const ColorValue *inFirst, const ColorValue *inSecond) {
        ++result.surface.compared;
        const bool surfaceDiffers = !inFirst || !inSecond || *inFirst != *inSecond;
        if (surfaceDiffers)
            ++result.surface.differing;
        const std::int32_t left = x - x % 2;
        if (!open || current.row != y || current.x != left) {
            flush();
            open = true;
            differs = false;
            current = {};
            current.column = left / 2 - 1;
            current.row = y;
            current.x = left;
        }
        differs = differs || surfaceDiffers;
        // The left surface pixel's color stands for the camera pixel; the right one's where the left is missing.
        if (inFirst && (!current.inFirst || x == left))
            current.inFirst = *inFirst;
        if (inSecond && (!current.inSecond || x == left))
            current.inSecond = *inSecond;
    });
    flush();
    return result;
}
