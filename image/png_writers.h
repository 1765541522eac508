#pragma once

#include <string>

class DrawnPixels;
class PixelSurface;
struct SavedFrame;

// The image layer's PNG files as a run without a window reaches them: in
// libcamconsole_image.so, which such a run loads only when it writes a PNG
// file or reads the expected frame, so that it loads Qt Gui only then. Each
// returns false and sets error to the reason when the file could not be
// written or read. The files are written atomically (WritePngAtomically).
struct PngWriters {
    // The picture as the window shows it, 133 x 117 pixels.
    bool (*picture)(const PixelSurface &picture, const std::string &path, std::string &error);
    // The whole drawn frame, unclipped, as the inspector's Save Frame As...
    // writes it.
    bool (*frame)(const DrawnPixels &pixels, const std::string &path, std::string &error);
    // A frame as Save Frame As... writes it, read back for --expect-frame
    // (ReadSavedFrame).
    bool (*readFrame)(const std::string &path, SavedFrame &frame, std::string &error);
};

inline constexpr const char *kImageLibrary = "libcamconsole_image.so";
inline constexpr const char *kPngWritersEntry = "camconsole_png_writers";

extern "C" const PngWriters *camconsole_png_writers();
