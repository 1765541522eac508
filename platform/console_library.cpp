#include "console_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

std::string ConsoleLibraryPath(const std::string &fileName)
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path bin = error ? std::filesystem::current_path() : executable.parent_path();
    return (bin / ".." / "lib" / "camconsole" / fileName).lexically_normal().string();
}

void *ConsoleLibraryEntry(const std::string &fileName, const char *entry)
{
    const std::string path = ConsoleLibraryPath(fileName);
    // By absolute path, so the search does not depend on the library path.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *text = dlerror();
        throw std::runtime_error(text ? text : "cannot load " + path);
    }
    dlerror();
    void *address = dlsym(handle, entry);
    if (!address) {
        const char *text = dlerror();
        throw std::runtime_error(text ? text : path + ": undefined symbol: " + entry);
    }
    return address;
}
