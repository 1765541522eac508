#include "frames/frame_compare.h"

#include "frames/number_text.h"

#include <cstdlib>
#include <set>

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

bool Within(ColorValue a, ColorValue b, int tolerance)
{
    const auto apart = [](unsigned x, unsigned y) { return std::abs(static_cast<int>(x) - static_cast<int>(y)); };
    return apart(RedOf(a), RedOf(b)) <= tolerance && apart(GreenOf(a), GreenOf(b)) <= tolerance
        && apart(BlueOf(a), BlueOf(b)) <= tolerance;
}

// The first surface pixel of a camera pixel.
std::pair<std::int64_t, std::int64_t> FirstSurfacePixel(const CameraPixel &pixel, CameraPixelShape shape)
{
    if (shape == CameraPixelShape::TwoWide)
        return { 2 + 2 * pixel.column, pixel.row };
    return { pixel.column, 2 * pixel.row };
}

std::string Counted(std::size_t count, const char *thing)
{
    return Count(count) + " " + thing + (count == 1 ? "" : "s");
}

} // namespace

CameraPixelShape ShapeOf(TestKind test)
{
    return test == TestKind::LineMode ? CameraPixelShape::TwoHigh : CameraPixelShape::TwoWide;
}

CameraPixel CameraPixelAt(std::int32_t x, std::int32_t y, CameraPixelShape shape)
{
    if (shape == CameraPixelShape::TwoWide) {
        const std::int64_t fromFirst = static_cast<std::int64_t>(x) - 2;
        return { fromFirst >= 0 ? fromFirst / 2 : (fromFirst - 1) / 2, y };
    }
    return { x, y / 2 };
}

FrameComparison CompareFrames(const DrawnPixels &first, const DrawnPixels &second, CameraPixelShape shape,
                              int tolerance, std::size_t listLimit)
{
    FrameComparison result;
    std::set<CameraPixel> drawn;
    std::set<CameraPixel> differing;
    Merge(first, second, [&](std::int32_t x, std::int32_t y, const ColorValue *inFirst, const ColorValue *inSecond) {
        ++result.surface.compared;
        const CameraPixel pixel = CameraPixelAt(x, y, shape);
        drawn.insert(pixel);
        if (inFirst && inSecond && Within(*inFirst, *inSecond, tolerance))
            return;
        ++result.surface.differing;
        if (!differing.insert(pixel).second || result.listed.size() >= listLimit)
            return;
        // The camera pixel's first surface pixel stands for it; the other one where that is not drawn.
        const auto [x0, y0] = FirstSurfacePixel(pixel, shape);
        CameraPixelDifference listed {
            pixel.column,     pixel.row,        static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
            first.at(x0, y0), second.at(x0, y0)
        };
        if (!listed.inFirst && inFirst)
            listed.inFirst = *inFirst;
        if (!listed.inSecond && inSecond)
            listed.inSecond = *inSecond;
        result.listed.push_back(listed);
    });
    result.camera = { differing.size(), drawn.size() };
    return result;
}

std::string DifferingPixelsText(const FrameComparison &comparison)
{
    std::string text = Counted(comparison.camera.differing, "camera pixel");
    if (comparison.surface.differing != comparison.camera.differing)
        text += " (" + Counted(comparison.surface.differing, "surface pixel") + ")";
    return text;
}
