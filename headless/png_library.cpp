#include "png_library.h"

#include "image/png_writers.h"
#include "platform/console_library.h"

#include <stdexcept>

const PngWriters *LoadPngWriters(std::string &error, const std::string &library)
{
    try {
        return reinterpret_cast<PngWriters const *(*)()>(ConsoleLibraryEntry(library, kPngWritersEntry))();
    } catch (const std::runtime_error &failure) {
        error = failure.what();
        return nullptr;
    }
}
