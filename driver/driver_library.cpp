#include "driver_library.h"

#include "platform/console_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern "C" {
using InitEntry = std::int32_t (*)(const char *);
using PingEntry = std::int32_t (*)();
using DumpFrameEntry = std::int32_t (*)(std::uint8_t *);
using ClosePortEntry = std::int32_t (*)();
using LastErrorEntry = const char *(*)();
}

std::string DriverLibrary::DefaultPath()
{
    if (const char *path = std::getenv("CAMCONSOLE_DRIVER"); path && *path)
        return std::filesystem::absolute(path).lexically_normal().string();
    return ConsoleLibraryPath("libtarqis.so");
}

std::optional<std::string> DriverLibrary::Check(const std::string &path)
{
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *text = dlerror();
        return text ? text : "cannot load " + path;
    }
    std::optional<std::string> problem;
    for (const char *name : { "CAM_Init", "CAM_Ping", "CAM_DumpFrame", "CAM_ClosePort" }) {
        dlerror();
        if (!dlsym(handle, name)) {
            const char *text = dlerror();
            problem = text ? text : std::string("undefined symbol: ") + name;
            break;
        }
    }
    dlclose(handle);
    return problem;
}

DriverLibrary::DriverLibrary(std::string path) : m_path(std::move(path))
{
}

void *DriverLibrary::entry(const char *name, void *&cache)
{
    if (cache)
        return cache;
    if (!m_handle) {
        // By absolute path, so the search does not depend on whose code calls dlopen.
        m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) {
            const char *text = dlerror();
            throw DriverError(DriverError::Kind::NotLoaded, text ? text : "cannot load " + m_path);
        }
    }
    dlerror();
    void *address = dlsym(m_handle, name);
    if (!address) {
        const char *text = dlerror();
        throw DriverError(DriverError::Kind::EntryMissing, text ? text : std::string("undefined symbol: ") + name);
    }
    cache = address;
    return address;
}

std::int32_t DriverLibrary::CAM_Init(const char *portName)
{
    return reinterpret_cast<InitEntry>(entry("CAM_Init", m_init))(portName);
}

std::int32_t DriverLibrary::CAM_Ping()
{
    return reinterpret_cast<PingEntry>(entry("CAM_Ping", m_ping))();
}

std::int32_t DriverLibrary::CAM_DumpFrame(std::uint8_t *buffer)
{
    return reinterpret_cast<DumpFrameEntry>(entry("CAM_DumpFrame", m_dumpFrame))(buffer);
}

void DriverLibrary::CAM_ClosePort()
{
    reinterpret_cast<ClosePortEntry>(entry("CAM_ClosePort", m_closePort))();
}

std::optional<std::string> DriverLibrary::CAM_LastError()
{
    if (!m_handle)
        return std::nullopt;
    if (!m_lastError) {
        dlerror();
        m_lastError = dlsym(m_handle, "CAM_LastError");
        if (!m_lastError)
            return std::nullopt;
    }
    const char *text = reinterpret_cast<LastErrorEntry>(m_lastError)();
    if (!text)
        return std::string();
    std::string line(text, strnlen(text, kLastErrorLimit));
    for (char &c : line) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F)
            c = ' ';
    }
    return line;
}
