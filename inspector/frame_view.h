#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QRect>

#include <memory>
#include <vector>

class FrameSource;

// The zooms offered besides fitting the frame to the view.
inline constexpr int kFrameZoomSteps[] = { 1, 2, 3, 4, 6, 8, 12, 16 };

// Shows a frame image at an integer zoom (1x to 16x, nearest neighbour) or
// fitted to the view, over a checkerboard so that pixels never drawn are
// told from black ones. Only the part on screen is drawn, as one scaled
// image rendered from the frame's source for each paint, so the view holds
// no image of the whole frame. Ctrl + mouse wheel and the + and - keys zoom.
// Reports the surface pixel under the mouse (again when a zoom or a scroll
// moves the frame under a still mouse) and clicks on pixels; outlines marked
// pixels, and rings pixels to find (at screen scale, so they show at any
// zoom).
class FrameView final : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int kFit = 0;
    static constexpr int kMaxZoom = 16;

    explicit FrameView(QWidget *parent = nullptr);

    // The frame drawn from a source (null: an empty view).
    void setSource(std::shared_ptr<const FrameSource> source);
    // The whole frame as an image (made on each call).
    QImage frame() const;
    bool hasFrame() const { return !m_size.isEmpty(); }

    // kFit or 1..kMaxZoom.
    int zoom() const { return m_zoom; }
    // Screen pixels per surface pixel now (below 1 when a large frame is fitted).
    double scale() const;
    // Rectangles of surface pixels to outline.
    void setMarks(std::vector<QRect> marks);
    const std::vector<QRect> &marks() const { return m_marks; }
    // Scrolls so that the surface rectangle is on screen.
    void showSurfaceRect(const QRect &rect);
    // Scrolls so that the surface rectangle stands in the middle of the view.
    void centreOn(const QRect &rect);
    // Rectangles of surface pixels to ring, drawn at least kRingSize screen
    // pixels across whatever the zoom.
    static constexpr int kRingSize = 11;
    void setRings(std::vector<QRect> rings);
    const std::vector<QRect> &rings() const { return m_rings; }

public slots:
    void setZoom(int zoom);
    void zoomIn();
    void zoomOut();

signals:
    // The surface pixel under the mouse; (-1, -1) when the mouse is off the frame.
    void hovered(int x, int y);
    void clicked(int x, int y);
    void zoomChanged(int zoom);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();
    // Top-left of the frame in viewport coordinates.
    QPointF origin() const;
    QPoint surfacePixelAt(const QPointF &viewportPoint) const;
    // Reports the pixel under a still mouse after the frame moved under it.
    void refreshHover();

    std::shared_ptr<const FrameSource> m_source;
    QSize m_size;
    QImage m_tile; // reused for each paint: the part on screen
    int m_zoom = kFit;
    std::vector<QRect> m_marks;
    std::vector<QRect> m_rings;
    QPoint m_hovered { -1, -1 };
};
