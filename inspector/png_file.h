#pragma once

#include "frames/drawn_pixels.h"

#include <QImage>
#include <QString>

#include <optional>
#include <string>

// PNG files as the console writes and reads them.

// Writes image as a PNG file at path atomically (see WriteFileAtomically): a
// failed save leaves an earlier file at path as it was. On failure returns
// false and sets *error (when given) to the reason, in the system's words.
bool WritePngAtomically(const QImage &image, const QString &path, QString *error = nullptr);

// A frame saved by Save Frame As... or --save-frame, read back: every opaque
// pixel as drawn, every transparent one as never drawn.
struct SavedFrame {
    DrawnPixels pixels;
    int width = 0;
    int height = 0;
};

// Reads such a PNG; nullopt, with the reason in *error, for a file that can
// not be read, is not a PNG or has pixels neither opaque nor transparent.
std::optional<SavedFrame> ReadSavedFrame(const std::string &path, std::string *error);
