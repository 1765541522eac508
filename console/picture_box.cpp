#include "picture_box.h"

#include "image/png_file.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_surface.setClearColor(backgroundColor().rgb());
    m_surface.clear();
}

QColor PictureBox::backgroundColor() const
{
    return palette().color(QPalette::Button);
}

void PictureBox::usePixelUnits()
{
    m_surface.usePixelUnits();
}

void PictureBox::clear()
{
    m_surface.setClearColor(backgroundColor().rgb());
    m_surface.clear();
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
    m_surface.setPixel(x, y, color);
    scheduleRepaint();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    m_repaintScheduled = false;
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(kBorder, kBorder, m_surface.image());
}

void PictureBox::setMenuAllowed(std::function<bool()> allowed)
{
    m_menuAllowed = std::move(allowed);
}

bool PictureBox::menuAllowed() const
{
    return !m_menuAllowed || m_menuAllowed();
}

std::unique_ptr<QMenu> PictureBox::makeContextMenu()
{
    if (!menuAllowed())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    connect(menu->addAction(tr("Copy Picture")), &QAction::triggered, this, &PictureBox::copyPicture);
    connect(menu->addAction(tr("Save Picture As...")), &QAction::triggered, this, &PictureBox::savePictureAs);
    connect(menu->addAction(tr("Inspect Frames...")), &QAction::triggered, this, &PictureBox::inspectFramesRequested);
    return menu;
}

void PictureBox::contextMenuEvent(QContextMenuEvent *event)
{
    // Accepted either way, so that no other widget offers a menu instead.
    event->accept();
    std::unique_ptr<QMenu> menu = makeContextMenu();
    if (!menu)
        return;
    // popup() rather than exec(): the menu does not run an event loop of its
    // own; it deletes itself once closed.
    QMenu *shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(event->globalPos());
}

void PictureBox::copyPicture() const
{
    QGuiApplication::clipboard()->setImage(m_surface.image());
}

bool PictureBox::savePicture(const QString &path, QString *error) const
{
    return WritePngAtomically(m_surface.image(), path, error);
}

void PictureBox::savePictureAs()
{
    if (!menuAllowed())
        return;
    QFileDialog dialog(window(), tr("Save Picture As"), m_saveFolder, tr("PNG images (*.png)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(QStringLiteral("picture.png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString error;
    if (savePicture(path, &error))
        m_saveFolder = QFileInfo(path).absolutePath();
    else
        QMessageBox::warning(window(), tr("Save Picture"),
                             tr("The picture could not be saved to %1:\n%2").arg(path, error));
}
