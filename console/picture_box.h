#pragma once

#include "platform/picture_surface.h"

#include <QFrame>
#include <QImage>

// The picture surface "Pic": a sunken panel with a 2-pixel border around
// 133 x 117 drawable pixels. Pixels are painted into a backing image, so a
// picture survives being covered and uncovered; a repaint of the widget is
// only scheduled (merged by the window system), never forced per pixel.
class PictureBox final : public QFrame, public PictureSurface {
    Q_OBJECT

public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget *parent = nullptr);

    void usePixelUnits() override;
    void clear() override;
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override;

    const QImage &image() const { return m_image; }
    bool pixelUnits() const { return m_pixelUnits; }
    QColor backgroundColor() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void scheduleRepaint();

    QImage m_image;
    bool m_repaintScheduled = false;
    bool m_pixelUnits = false;
};
