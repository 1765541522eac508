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
    if (const auto point = DrawablePoint(x, y, m_pixelUnits))
        m_image.setPixel(point->x, point->y, qRgb(RedOf(color), GreenOf(color), BlueOf(color)));
}
