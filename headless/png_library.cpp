#include "png_library.h"

#include "image/png_writers.h"
#include "platform/console_library.h"

#include <stdexcept>

const PngWriters *LoadPngWriters(std::string &error)
{
    try {
        return reinterpret_cast<PngWriters const *(*)()>(ConsoleLibraryEntry(kImageLibrary, kPngWritersEntry))();
    } catch (const std::runtime_error &failure) {
        error = failure.what();
        return nullptr;
    }
}
