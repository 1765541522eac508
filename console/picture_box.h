#pragma once

#include "image/image_surface.h"

#include <QFrame>

#include <functional>
#include <memory>

class QMenu;

// The picture surface "Pic": a sunken panel with a 2-pixel border around
// 133 x 117 drawable pixels. Pixels are painted into a backing image, so a
// picture survives being covered and uncovered; a repaint of the widget is
// only scheduled (merged by the window system), never forced per pixel.
class PictureBox final : public QFrame, public PictureSurface {
    Q_OBJECT

public:
    static constexpr int kTwipsPerPixel = ImageSurface::kTwipsPerPixel;
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget *parent = nullptr);

    void usePixelUnits() override;
    void clear() override;
    void setPixel(std::int64_t x, std::int64_t y, ColorValue color) override;

    const QImage &image() const { return m_surface.image(); }
    QColor backgroundColor() const;

    // The right-click menu ("Copy Picture", "Save Picture As...",
    // "Inspect Frames...") opens only
    // while allowed() is true. The window forbids it while a test runs: a
    // menu or file dialog opened from a test's event processing would hold
    // that test's reception up for as long as it stays open.
    void setMenuAllowed(std::function<bool()> allowed);
    bool menuAllowed() const;
    // The picture's context menu, or null when menus are not allowed now.
    std::unique_ptr<QMenu> makeContextMenu();

    // Puts the 133 x 117 picture on the clipboard.
    void copyPicture() const;
    // Writes the picture as a PNG file at path. On failure returns false and
    // sets *error (when given) to the reason.
    bool savePicture(const QString &path, QString *error = nullptr) const;
    // Asks for a file name and saves the picture there; a failed write is
    // reported in a message box. The dialog opens in the folder of the last
    // successful save, for as long as the console runs.
    void savePictureAs();

signals:
    // "Inspect Frames..." was chosen.
    void inspectFramesRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void scheduleRepaint();

    std::function<bool()> m_menuAllowed;

    ImageSurface m_surface;
    QString m_saveFolder; // of the last save; empty: the dialog's own default
    bool m_repaintScheduled = false;
};
