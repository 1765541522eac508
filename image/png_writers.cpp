#include "image/png_writers.h"

#include "image/frame_image.h"
#include "image/png_file.h"
#include "platform/pixel_surface.h"

#include <QImage>

#include <optional>
#include <utility>

namespace {

bool WritePicture(const PixelSurface &picture, const std::string &path, std::string &error)
{
    QImage image(PictureSurface::kWidth, PictureSurface::kHeight, QImage::Format_RGB32);
    for (int y = 0; y < PictureSurface::kHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < PictureSurface::kWidth; ++x)
            line[x] = picture.pixel(x, y);
    }
    QString reason;
    if (WritePngAtomically(image, QString::fromStdString(path), &reason))
        return true;
    error = reason.toStdString();
    return false;
}

bool WriteFrame(const DrawnPixels &pixels, const std::string &path, std::string &error)
{
    QString reason;
    if (SaveFramePng(RenderFrame(pixels), QString::fromStdString(path), &reason))
        return true;
    error = reason.toStdString();
    return false;
}

bool ReadFrame(const std::string &path, SavedFrame &frame, std::string &error)
{
    std::optional<SavedFrame> read = ReadSavedFrame(path, &error);
    if (!read)
        return false;
    frame = std::move(*read);
    return true;
}

constexpr PngWriters kWriters { WritePicture, WriteFrame, ReadFrame };

} // namespace

extern "C" __attribute__((visibility("default"))) const PngWriters *camconsole_png_writers()
{
    return &kWriters;
}
