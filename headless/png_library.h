#pragma once

#include <string>

struct PngWriters;

// The image layer's PNG functions (image/png_writers.h) in
// libcamconsole_image.so, loaded on the first call, so that a run without a
// window loads Qt Gui only when it writes a PNG file or reads an expected
// frame. Null, with error set to the loader's words, when the library or
// its entry can not be loaded.
const PngWriters *LoadPngWriters(std::string &error);
