#pragma once

#include "platform/pixel_surface.h"

#include <QImage>

// The 133 x 117 pixels of the picture surface, kept in an image that the
// window's picture box paints, copies and saves. (A run without a window
// keeps them in a PixelSurface, which needs no Qt Gui.)
class ImageSurface final : public PictureSurface {
public:
    static constexpr QRgb kDefaultClearColor = PixelSurface::kDefaultClearColor;

    explicit ImageSurface(QRgb clearColor = kDefaultClearColor);

    void usePixelUnits() override;
    void clear() override;
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override;

    // The color clear() erases to from now on.
    void setClearColor(QRgb color) { m_clearColor = color; }
    QRgb clearColor() const { return m_clearColor; }

    const QImage &image() const { return m_image; }

private:
    QRgb m_clearColor;
    QImage m_image;
    bool m_pixelUnits = false;
};
