#include "image/frame_image.h"

#include "frames/number_text.h"
#include "image/png_file.h"

#include <algorithm>

FrameImage RenderFrame(const DrawnPixels &pixels)
{
    FrameImage frame;
    frame.fullWidth = pixels.width();
    frame.fullHeight = pixels.height();
    if (pixels.empty())
        return frame;
    const int width = static_cast<int>(std::min<std::int64_t>(frame.fullWidth, kFrameImageLimit));
    const int height = static_cast<int>(std::min<std::int64_t>(frame.fullHeight, kFrameImageLimit));
    frame.image = QImage(width, height, QImage::Format_ARGB32);
    frame.image.fill(Qt::transparent);
    for (const DrawnPixel &p : pixels.pixels()) {
        if (p.y >= height)
            break; // rows come in order
        if (p.x >= width)
            continue;
        auto *line = reinterpret_cast<QRgb *>(frame.image.scanLine(p.y));
        line[p.x] = qRgb(RedOf(p.color), GreenOf(p.color), BlueOf(p.color));
    }
    return frame;
}

QString CutNotice(std::int64_t fullWidth, std::int64_t fullHeight)
{
    if (fullWidth <= kFrameImageLimit && fullHeight <= kFrameImageLimit)
        return {};
    const auto count
        = [](std::int64_t extent) { return QString::fromStdString(Count(static_cast<std::uint64_t>(extent))); };
    return QStringLiteral("Shows %1 x %2 of %3 x %4 surface pixels.")
        .arg(count(std::min<std::int64_t>(fullWidth, kFrameImageLimit)),
             count(std::min<std::int64_t>(fullHeight, kFrameImageLimit)), count(fullWidth), count(fullHeight));
}

bool SaveFramePng(const FrameImage &frame, const QString &path, QString *error)
{
    if (frame.image.isNull()) {
        if (error)
            *error = QStringLiteral("Nothing was drawn.");
        return false;
    }
    QImage image = frame.image;
    if (frame.cut())
        image.setText(QStringLiteral("Comment"), CutNotice(frame));
    return WritePngAtomically(image, path, error);
}
