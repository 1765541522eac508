#pragma once

#include <string>

class DrawnPixels;
class PixelSurface;

// The image layer's PNG writers as a run without a window reaches them: in
// libcamconsole_image.so, which such a run loads only when it writes a PNG
// file, so that it loads Qt Gui only then. Each returns false and sets error
// to the reason when the file could not be written.
struct PngWriters {
    // The picture as the window shows it, 133 x 117 pixels.
    bool (*picture)(const PixelSurface &picture, const std::string &path, std::string &error);
    // The whole drawn frame, unclipped, as the inspector's Save Frame As...
    // writes it.
    bool (*frame)(const DrawnPixels &pixels, const std::string &path, std::string &error);
};

inline constexpr const char *kImageLibrary = "libcamconsole_image.so";
inline constexpr const char *kPngWritersEntry = "camconsole_png_writers";

extern "C" const PngWriters *camconsole_png_writers();
