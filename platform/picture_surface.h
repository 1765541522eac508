#pragma once

#include <cstdint>
#include <optional>

// A color value: red + 256 * green + 65536 * blue, each component 0-255.
using ColorValue = std::uint32_t;

constexpr ColorValue MakeColor(unsigned red, unsigned green, unsigned blue)
{
    return (red & 0xFFu) | ((green & 0xFFu) << 8) | ((blue & 0xFFu) << 16);
}

constexpr unsigned RedOf(ColorValue c)
{
    return c & 0xFFu;
}
constexpr unsigned GreenOf(ColorValue c)
{
    return (c >> 8) & 0xFFu;
}
constexpr unsigned BlueOf(ColorValue c)
{
    return (c >> 16) & 0xFFu;
}

constexpr ColorValue kBlack = MakeColor(0, 0, 0);
constexpr ColorValue kBlue = MakeColor(0, 0, 255);

// The picture surface "Pic": 133 x 117 drawable pixels, origin top-left,
// x to the right, y downwards.
class PictureSurface {
public:
    static constexpr int kWidth = 133;
    static constexpr int kHeight = 117;
    static constexpr int kTwipsPerPixel = 15;

    virtual ~PictureSurface() = default;

    // Switch the coordinate unit from twips (15 per pixel) to pixels.
    virtual void usePixelUnits() = 0;
    // Erase the whole surface to its background color (button face).
    virtual void clear() = 0;
    // Paint one pixel; points outside the drawable area are ignored.
    virtual void setPixel(std::int64_t x, std::int64_t y, ColorValue color) = 0;
};

// A point of the drawable area, in pixels.
struct SurfacePoint {
    int x = 0;
    int y = 0;
};

// Where setPixel(x, y) paints: the point in pixels (converted from twips
// unless the surface uses pixel units), or nothing outside the drawable area.
constexpr std::optional<SurfacePoint> DrawablePoint(std::int64_t x, std::int64_t y, bool pixelUnits)
{
    if (!pixelUnits) {
        x /= PictureSurface::kTwipsPerPixel;
        y /= PictureSurface::kTwipsPerPixel;
    }
    if (x < 0 || y < 0 || x >= PictureSurface::kWidth || y >= PictureSurface::kHeight)
        return std::nullopt;
    return SurfacePoint { static_cast<int>(x), static_cast<int>(y) };
}
