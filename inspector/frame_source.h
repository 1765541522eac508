#pragma once

#include "frames/drawn_pixels.h"

#include <QImage>
#include <QPoint>
#include <QSize>

#include <memory>

// What a FrameView shows: surface pixels from the origin to size(), drawn on
// demand for the part on screen only. No view holds an image of a whole
// frame, so a hostile stream that draws out to 4,096 x 4,096 costs the
// inspector its drawn pixels and a screenful, not 64 MiB per view.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    // At most kFrameImageLimit each way.
    virtual QSize size() const = 0;
    // Fills target (ARGB32_Premultiplied) with the surface from topLeft on,
    // step surface pixels a target pixel each way (step >= 1: where several
    // surface pixels fall on one target pixel, one of them shows);
    // transparent where nothing was drawn.
    virtual void render(QImage &target, QPoint topLeft, double step) const = 0;
};

// A recorded frame's drawn pixels, in their own colors.
class DrawnPixelsSource final : public FrameSource {
public:
    explicit DrawnPixelsSource(std::shared_ptr<const DrawnPixels> pixels);
    QSize size() const override { return m_size; }
    void render(QImage &target, QPoint topLeft, double step) const override;

private:
    std::shared_ptr<const DrawnPixels> m_pixels;
    QSize m_size;
};

// Two frames' difference: pixels equal in both dimmed, pixels of other colors
// red, pixels drawn by the first only yellow, by the second only cyan.
class DifferenceSource final : public FrameSource {
public:
    DifferenceSource(std::shared_ptr<const DrawnPixels> first, std::shared_ptr<const DrawnPixels> second);
    QSize size() const override { return m_size; }
    void render(QImage &target, QPoint topLeft, double step) const override;

    static const QRgb kColorsDiffer;
    static const QRgb kFirstOnly;
    static const QRgb kSecondOnly;

private:
    std::shared_ptr<const DrawnPixels> m_first;
    std::shared_ptr<const DrawnPixels> m_second;
    QSize m_size;
};

// The whole source as one ARGB32 image (null when empty): for saving and checking.
QImage RenderWhole(const FrameSource &source);
