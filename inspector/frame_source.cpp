#include "inspector/frame_source.h"

#include "image/frame_image.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

QSize LimitedSize(std::int64_t width, std::int64_t height)
{
    if (width == 0 || height == 0)
        return {};
    return { static_cast<int>(std::min<std::int64_t>(width, kFrameImageLimit)),
             static_cast<int>(std::min<std::int64_t>(height, kFrameImageLimit)) };
}

QRgb Opaque(ColorValue color)
{
    return qRgb(static_cast<int>(RedOf(color)), static_cast<int>(GreenOf(color)), static_cast<int>(BlueOf(color)));
}

// A color faded towards mid gray, for pixels that match.
QRgb Dimmed(ColorValue color)
{
    const auto fade = [](unsigned c) { return static_cast<int>(96 + c * 3 / 8); };
    return qRgb(fade(RedOf(color)), fade(GreenOf(color)), fade(BlueOf(color)));
}

using Pixels = std::vector<DrawnPixel>;

// The pixels of row y from x on, in a row-by-row sorted list.
Pixels::const_iterator RowFrom(const Pixels &pixels, std::int32_t y, std::int32_t x)
{
    return std::lower_bound(
        pixels.begin(), pixels.end(), DrawnPixel { x, y, 0 },
        [](const DrawnPixel &a, const DrawnPixel &b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
}

// Calls paint(targetColumn, pixel) for each pixel of surface row y that falls
// on the target row, left to right.
template <typename Paint>
void ForRow(const Pixels &pixels, std::int32_t y, QPoint topLeft, double step, int targetWidth, Paint &&paint)
{
    for (auto it = RowFrom(pixels, y, topLeft.x()); it != pixels.end() && it->y == y; ++it) {
        const auto i = static_cast<int>(std::floor((it->x - topLeft.x()) / step));
        if (i >= targetWidth)
            break;
        paint(i, *it);
    }
}

// The target rows and the surface row each shows, within height rows.
template <typename Row> void ForTargetRows(QImage &target, QPoint topLeft, double step, int height, Row &&row)
{
    for (int j = 0; j < target.height(); ++j) {
        const auto y = static_cast<std::int32_t>(topLeft.y() + std::floor(j * step));
        if (y >= height)
            break;
        row(y, reinterpret_cast<QRgb *>(target.scanLine(j)));
    }
}

} // namespace

const QRgb DifferenceSource::kColorsDiffer = qRgb(255, 0, 0);
const QRgb DifferenceSource::kFirstOnly = qRgb(255, 220, 0);
const QRgb DifferenceSource::kSecondOnly = qRgb(0, 220, 255);

DrawnPixelsSource::DrawnPixelsSource(std::shared_ptr<const DrawnPixels> pixels)
    : m_pixels(std::move(pixels)), m_size(LimitedSize(m_pixels->width(), m_pixels->height()))
{
}

void DrawnPixelsSource::render(QImage &target, QPoint topLeft, double step) const
{
    target.fill(Qt::transparent);
    const Pixels &pixels = m_pixels->pixels();
    ForTargetRows(target, topLeft, step, m_size.height(), [&](std::int32_t y, QRgb *line) {
        ForRow(pixels, y, topLeft, step, target.width(),
               [&](int i, const DrawnPixel &p) { line[i] = Opaque(p.color); });
    });
}

DifferenceSource::DifferenceSource(std::shared_ptr<const DrawnPixels> first, std::shared_ptr<const DrawnPixels> second)
    : m_first(std::move(first)),
      m_second(std::move(second)),
      m_size(
          LimitedSize(std::max(m_first->width(), m_second->width()), std::max(m_first->height(), m_second->height())))
{
}

void DifferenceSource::render(QImage &target, QPoint topLeft, double step) const
{
    target.fill(Qt::transparent);
    const Pixels &first = m_first->pixels();
    const Pixels &second = m_second->pixels();
    ForTargetRows(target, topLeft, step, m_size.height(), [&](std::int32_t y, QRgb *line) {
        ForRow(first, y, topLeft, step, target.width(), [&](int i, const DrawnPixel &) { line[i] = kFirstOnly; });
        // The second frame's pixels, merged with the first's row.
        auto a = RowFrom(first, y, topLeft.x());
        ForRow(second, y, topLeft, step, target.width(), [&](int i, const DrawnPixel &b) {
            while (a != first.end() && a->y == y && a->x < b.x)
                ++a;
            if (a != first.end() && a->y == y && a->x == b.x)
                line[i] = a->color == b.color ? Dimmed(b.color) : kColorsDiffer;
            else
                line[i] = kSecondOnly;
        });
    });
}

QImage RenderWhole(const FrameSource &source)
{
    if (source.size().isEmpty())
        return {};
    QImage image(source.size(), QImage::Format_ARGB32_Premultiplied);
    source.render(image, QPoint(0, 0), 1.0);
    return image.convertToFormat(QImage::Format_ARGB32);
}
