#include "inspector/frame_view.h"

#include "inspector/frame_source.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kCheckerCell = 8;
// Around the frame: darker than the checkerboard, so the frame's edge shows.
const QColor kSurround(72, 72, 72);

// A brush of gray squares for "not drawn".
const QBrush &CheckerBrush()
{
    static const QBrush brush = [] {
        QPixmap tile(2 * kCheckerCell, 2 * kCheckerCell);
        // Mid grays: far from the white (240) and black (16) a camera sends.
        tile.fill(QColor(128, 128, 128));
        QPainter p(&tile);
        p.fillRect(0, 0, kCheckerCell, kCheckerCell, QColor(168, 168, 168));
        p.fillRect(kCheckerCell, kCheckerCell, kCheckerCell, kCheckerCell, QColor(168, 168, 168));
        return QBrush(tile);
    }();
    return brush;
}

} // namespace

FrameView::FrameView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFrameShape(QFrame::StyledPanel);
}

void FrameView::setSource(std::shared_ptr<const FrameSource> source)
{
    m_source = std::move(source);
    m_size = m_source ? m_source->size() : QSize();
    m_marks.clear();
    m_rings.clear();
    updateScrollBars();
    viewport()->update();
}

QImage FrameView::frame() const
{
    return m_source ? RenderWhole(*m_source) : QImage();
}

double FrameView::scale() const
{
    if (m_zoom != kFit || m_size.isEmpty())
        return m_zoom == kFit ? 1.0 : m_zoom;
    const double fit = std::min(static_cast<double>(viewport()->width()) / m_size.width(),
                                static_cast<double>(viewport()->height()) / m_size.height());
    // Whole steps while the frame fits at 1x or more; below that, shrunk to fit.
    return fit >= 1.0 ? std::min<double>(std::floor(fit), kMaxZoom) : fit;
}

void FrameView::setZoom(int zoom)
{
    zoom = std::clamp(zoom, kFit, kMaxZoom);
    if (zoom == m_zoom)
        return;
    // Keep the surface pixel at the view's centre in place.
    const QPointF centre(viewport()->width() / 2.0, viewport()->height() / 2.0);
    const QPointF surfaceCentre = (centre - origin()) / scale();
    m_zoom = zoom;
    updateScrollBars();
    horizontalScrollBar()->setValue(static_cast<int>(surfaceCentre.x() * scale() - centre.x()));
    verticalScrollBar()->setValue(static_cast<int>(surfaceCentre.y() * scale() - centre.y()));
    viewport()->update();
    emit zoomChanged(m_zoom);
    refreshHover();
}

void FrameView::zoomIn()
{
    // From fit, the next step above the fitted scale.
    const double now = scale();
    for (int step : kFrameZoomSteps) {
        if (step > now) {
            setZoom(step);
            return;
        }
    }
}

void FrameView::zoomOut()
{
    if (m_zoom == kFit)
        return;
    int lower = kFit;
    for (int step : kFrameZoomSteps)
        if (step < m_zoom)
            lower = step;
    setZoom(lower);
}

void FrameView::setMarks(std::vector<QRect> marks)
{
    m_marks = std::move(marks);
    viewport()->update();
}

void FrameView::showSurfaceRect(const QRect &rect)
{
    const double s = scale();
    const QRectF onScreen(rect.x() * s, rect.y() * s, rect.width() * s, rect.height() * s);
    const auto follow = [](QScrollBar *bar, double from, double to, int page) {
        if (from < bar->value() || to > bar->value() + page)
            bar->setValue(static_cast<int>((from + to) / 2 - page / 2.0));
    };
    follow(horizontalScrollBar(), onScreen.left(), onScreen.right(), viewport()->width());
    follow(verticalScrollBar(), onScreen.top(), onScreen.bottom(), viewport()->height());
}

void FrameView::centreOn(const QRect &rect)
{
    const double s = scale();
    const QPointF centre((rect.x() + rect.width() / 2.0) * s, (rect.y() + rect.height() / 2.0) * s);
    horizontalScrollBar()->setValue(static_cast<int>(centre.x() - viewport()->width() / 2.0));
    verticalScrollBar()->setValue(static_cast<int>(centre.y() - viewport()->height() / 2.0));
}

void FrameView::setRings(std::vector<QRect> rings)
{
    m_rings = std::move(rings);
    viewport()->update();
}

void FrameView::refreshHover()
{
    if (!viewport()->underMouse())
        return;
    const QPoint pixel = surfacePixelAt(viewport()->mapFromGlobal(QCursor::pos()));
    if (pixel != m_hovered) {
        m_hovered = pixel;
        emit hovered(pixel.x(), pixel.y());
    }
}

void FrameView::updateScrollBars()
{
    const double s = scale();
    const int width = m_size.isEmpty() ? 0 : static_cast<int>(std::ceil(m_size.width() * s));
    const int height = m_size.isEmpty() ? 0 : static_cast<int>(std::ceil(m_size.height() * s));
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(std::max(1, static_cast<int>(s)));
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(std::max(1, static_cast<int>(s)));
}

QPointF FrameView::origin() const
{
    // A frame smaller than the view stands in its middle.
    const double s = scale();
    const double width = m_size.width() * s;
    const double height = m_size.height() * s;
    const double x
        = width < viewport()->width() ? std::floor((viewport()->width() - width) / 2) : -horizontalScrollBar()->value();
    const double y = height < viewport()->height() ? std::floor((viewport()->height() - height) / 2)
                                                   : -verticalScrollBar()->value();
    return { x, y };
}

QPoint FrameView::surfacePixelAt(const QPointF &viewportPoint) const
{
    if (m_size.isEmpty())
        return { -1, -1 };
    const QPointF surface = (viewportPoint - origin()) / scale();
    const int x = static_cast<int>(std::floor(surface.x()));
    const int y = static_cast<int>(std::floor(surface.y()));
    if (x < 0 || y < 0 || x >= m_size.width() || y >= m_size.height())
        return { -1, -1 };
    return { x, y };
}

void FrameView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kSurround);
    if (m_size.isEmpty())
        return;

    const double s = scale();
    const QPointF topLeft = origin();
    const QRectF frameOnScreen(topLeft, QSizeF(m_size.width() * s, m_size.height() * s));
    const QRectF visible = frameOnScreen.intersected(QRectF(viewport()->rect()));
    if (visible.isEmpty())
        return;

    painter.setBrushOrigin(topLeft);
    painter.fillRect(visible, CheckerBrush());

    // The surface pixels on screen, whole, drawn as one scaled image.
    const int left = std::max(0, static_cast<int>(std::floor((visible.left() - topLeft.x()) / s)));
    const int top = std::max(0, static_cast<int>(std::floor((visible.top() - topLeft.y()) / s)));
    const int right = std::min(m_size.width(), static_cast<int>(std::ceil((visible.right() - topLeft.x()) / s)));
    const int bottom = std::min(m_size.height(), static_cast<int>(std::ceil((visible.bottom() - topLeft.y()) / s)));
    if (right <= left || bottom <= top)
        return;
    const QRectF target(topLeft.x() + left * s, topLeft.y() + top * s, (right - left) * s, (bottom - top) * s);
    // Zoomed in: the pixels on screen at 1:1, scaled up when drawn; shrunk to
    // fit: one pixel per screen pixel, sampled.
    const double step = s >= 1 ? 1.0 : 1.0 / s;
    const QSize tile = s >= 1 ? QSize(right - left, bottom - top)
                              : QSize(std::max(1, static_cast<int>(std::ceil((right - left) * s))),
                                      std::max(1, static_cast<int>(std::ceil((bottom - top) * s))));
    if (m_tile.width() < tile.width() || m_tile.height() < tile.height())
        m_tile = QImage(tile.expandedTo(m_tile.size()), QImage::Format_ARGB32_Premultiplied);
    QImage part(m_tile.bits(), tile.width(), tile.height(), static_cast<qsizetype>(m_tile.bytesPerLine()),
                QImage::Format_ARGB32_Premultiplied);
    m_source->render(part, QPoint(left, top), step);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, part, QRect(QPoint(0, 0), tile));

    // Rings around the pixels to find: a screen-sized square, white around black.
    for (const QRect &ring : m_rings) {
        const QPointF centre(topLeft.x() + (ring.x() + ring.width() / 2.0) * s,
                             topLeft.y() + (ring.y() + ring.height() / 2.0) * s);
        const double half = std::max<double>(kRingSize, std::max(ring.width(), ring.height()) * s + 6) / 2;
        const QRectF square(centre.x() - half, centre.y() - half, 2 * half, 2 * half);
        if (!square.intersects(QRectF(viewport()->rect())))
            continue;
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::white, 3));
        painter.drawRect(square);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(square);
    }

    if (!m_marks.empty()) {
        painter.setBrush(Qt::NoBrush);
        for (const QRect &mark : m_marks) {
            const QRectF r(topLeft.x() + mark.x() * s, topLeft.y() + mark.y() * s, mark.width() * s, mark.height() * s);
            if (!r.intersects(QRectF(viewport()->rect())))
                continue;
            const QRectF outline = r.adjusted(-1.5, -1.5, 1.5, 1.5);
            painter.setPen(QPen(QColor(255, 0, 255), 2));
            painter.drawRect(outline);
            painter.setPen(QPen(Qt::white, 1));
            painter.drawRect(outline.adjusted(-2, -2, 2, 2));
        }
    }
}

void FrameView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void FrameView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pixel = surfacePixelAt(event->position());
    if (pixel != m_hovered) {
        m_hovered = pixel;
        emit hovered(pixel.x(), pixel.y());
    }
}

void FrameView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pixel = surfacePixelAt(event->position());
    if (pixel.x() >= 0)
        emit clicked(pixel.x(), pixel.y());
}

void FrameView::leaveEvent(QEvent *)
{
    if (m_hovered.x() >= 0) {
        m_hovered = { -1, -1 };
        emit hovered(-1, -1);
    }
}

void FrameView::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    if (event->angleDelta().y() > 0)
        zoomIn();
    else if (event->angleDelta().y() < 0)
        zoomOut();
    event->accept();
}

void FrameView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomIn();
        break;
    case Qt::Key_Minus:
        zoomOut();
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void FrameView::scrollContentsBy(int, int)
{
    viewport()->update();
    refreshHover();
}
