#pragma once

#include "frames/drawn_pixels.h"

#include <QImage>
#include <QString>

#include <cstdint>

// A recorded frame as an image: pixel (x, y) of the image is surface pixel
// (x, y), from the surface origin to the farthest drawn pixel; pixels never
// drawn are transparent. Images stop at kFrameImageLimit pixels each way (a
// hostile stream can draw far out); what lies beyond is cut off.
inline constexpr int kFrameImageLimit = 4096;

struct FrameImage {
    QImage image; // ARGB32; null when nothing was drawn
    std::int64_t fullWidth = 0; // the drawn frame's extent
    std::int64_t fullHeight = 0;
    bool cut() const { return fullWidth > image.width() || fullHeight > image.height(); }
};

FrameImage RenderFrame(const DrawnPixels &pixels);

// "Shows 4,096 x 4,096 of 524,290 x 143 surface pixels." when the image of a
// frame of that extent is cut, else empty.
QString CutNotice(std::int64_t fullWidth, std::int64_t fullHeight);
inline QString CutNotice(const FrameImage &frame)
{
    return CutNotice(frame.fullWidth, frame.fullHeight);
}

// Writes the frame as a PNG file at path (a cut frame carries the cut notice
// as its comment). On failure, or with nothing drawn, returns false and sets
// *error (when given) to the reason.
bool SaveFramePng(const FrameImage &frame, const QString &path, QString *error = nullptr);
