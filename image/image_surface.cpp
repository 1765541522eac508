#include "image_surface.h"

ImageSurface::ImageSurface(QRgb clearColor) : m_clearColor(clearColor), m_image(kWidth, kHeight, QImage::Format_RGB32)
{
    m_image.fill(m_clearColor);
}

void ImageSurface::usePixelUnits()
{
    m_pixelUnits = true;
}

void ImageSurface::clear()
{
    m_image.fill(m_clearColor);
}

void ImageSurface::setPixel(std::int64_t x, std::int64_t y, ColorValue color)
{
    if (!m_pixelUnits) {
        x /= kTwipsPerPixel;
        y /= kTwipsPerPixel;
    }
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
        return;
    m_image.setPixel(static_cast<int>(x), static_cast<int>(y), qRgb(RedOf(color), GreenOf(color), BlueOf(color)));
}
