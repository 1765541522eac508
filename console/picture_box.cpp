#include "picture_box.h"

#include <QPainter>

PictureBox::PictureBox(QWidget *parent)
    : QFrame(parent), m_image(kWidth, kHeight, QImage::Format_RGB32)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_image.fill(backgroundColor());
}

QColor PictureBox::backgroundColor() const
{
    return palette().color(QPalette::Button);
}

void PictureBox::usePixelUnits()
{
    m_pixelUnits = true;
}

void PictureBox::clear()
{
    m_image.fill(backgroundColor());
    scheduleRepaint();
}

void PictureBox::scheduleRepaint()
{
    if (!m_repaintScheduled) {
        m_repaintScheduled = true;
        update();
    }
}

void PictureBox::setPixel(std::int64_t x, std::int64_t y, ColorValue color)
{
    if (!m_pixelUnits) {
        x /= kTwipsPerPixel;
        y /= kTwipsPerPixel;
    }
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
        return;
    m_image.setPixel(static_cast<int>(x), static_cast<int>(y), qRgb(RedOf(color), GreenOf(color), BlueOf(color)));
    scheduleRepaint();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    m_repaintScheduled = false;
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(kBorder, kBorder, m_image);
}
