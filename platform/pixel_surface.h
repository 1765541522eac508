#pragma once

#include "platform/picture_surface.h"

#include <cstdint>
#include <vector>

// The 133 x 117 pixels of the picture surface kept in memory, row after row,
// each as 0xFFRRGGBB (the layout of a 32-bit RGB image). A run without a
// window draws on one, and the image layer writes it as a PNG file.
class PixelSurface final : public PictureSurface {
public:
    // The button-face color of Qt's default palette, which the window's
    // picture is cleared to unless a desktop theme changes the palette.
    static constexpr std::uint32_t kDefaultClearColor = 0xFFEFEFEFu;

    explicit PixelSurface(std::uint32_t clearColor = kDefaultClearColor);

    void usePixelUnits() override;
    void clear() override;
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override;

    // Pixel (x, y) as 0xFFRRGGBB; x and y within the surface.
    std::uint32_t pixel(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * kWidth + x]; }
    // Every pixel, kWidth a row.
    const std::vector<std::uint32_t> &pixels() const { return m_pixels; }

private:
    std::uint32_t m_clearColor;
    std::vector<std::uint32_t> m_pixels;
    bool m_pixelUnits = false;
};
