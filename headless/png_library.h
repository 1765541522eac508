#pragma once

#include "image/png_writers.h"

#include <string>

// The image layer's PNG functions (image/png_writers.h) in
// libcamconsole_image.so, loaded on the first call, so that a run without a
// window loads Qt Gui only when it writes a PNG file or reads an expected
// frame. Null, with error set to the loader's words, when the library or
// its entry can not be loaded. `library` names another file of the
// console's library folder in its place (for the tests).
const PngWriters *LoadPngWriters(std::string &error, const std::string &library = kImageLibrary);
