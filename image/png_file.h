#pragma once

#include "frames/frame_compare.h"

#include <QImage>
#include <QString>

#include <optional>
#include <string>

// PNG files as the console writes and reads them.

// Writes image as a PNG file at path atomically (see WriteFileAtomically): a
// failed save leaves an earlier file at path as it was. On failure returns
// false and sets *error (when given) to the reason, in the system's words.
bool WritePngAtomically(const QImage &image, const QString &path, QString *error = nullptr);

// Reads a frame saved by Save Frame As... or --save-frame (SavedFrame);
// nullopt, with the reason in *error, for a file that can not be read, is
// not a PNG or has pixels neither opaque nor transparent.
std::optional<SavedFrame> ReadSavedFrame(const std::string &path, std::string *error);
