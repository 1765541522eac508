#include "pixel_surface.h"

#include <algorithm>

PixelSurface::PixelSurface(std::uint32_t clearColor)
    : m_clearColor(clearColor), m_pixels(static_cast<std::size_t>(kWidth) * kHeight, clearColor)
{
}

void PixelSurface::usePixelUnits()
{
    m_pixelUnits = true;
}

void PixelSurface::clear()
{
    std::fill(m_pixels.begin(), m_pixels.end(), m_clearColor);
}

void PixelSurface::setPixel(std::int64_t x, std::int64_t y, ColorValue color)
{
    if (const auto point = DrawablePoint(x, y, m_pixelUnits))
        m_pixels[static_cast<std::size_t>(point->y) * kWidth + point->x]
            = 0xFF000000u | (RedOf(color) << 16) | (GreenOf(color) << 8) | BlueOf(color);
}
