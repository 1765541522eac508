#pragma once

#include "camera_driver.h"

#include <optional>
#include <string>

// The camera driver library, loaded from a file on the first call of one of
// its entries and kept loaded until the program ends. Each entry is looked
// up when it is first called. A library that can not be loaded, or an entry
// it lacks, raises DriverError with the loader's text; the next call tries
// again, so a library put in place meanwhile is picked up.
class DriverLibrary final : public CameraDriver {
public:
    // $CAMCONSOLE_DRIVER when set, else ../lib/camconsole/libtarqis.so
    // beside the running executable, as an absolute path.
    static std::string DefaultPath();

    // Loads the library at path and looks for the four entries the console
    // calls (CAM_Init, CAM_Ping, CAM_DumpFrame, CAM_ClosePort), then unloads
    // it: the loader's words for the first that fails, nullopt when all are
    // there. For a choice made by hand, checked before it replaces another.
    static std::optional<std::string> Check(const std::string &path);

    explicit DriverLibrary(std::string path = DefaultPath());
    // Where the library is (or will be) loaded from.
    const std::string &path() const { return m_path; }

    std::int32_t CAM_Init(const char *portName) override;
    std::int32_t CAM_Ping() override;
    std::int32_t CAM_DumpFrame(std::uint8_t *buffer) override;
    void CAM_ClosePort() override;
    // Looked up like the others but optional: a library without it, or one
    // not loaded, gives nullopt. The text is cut to kLastErrorLimit bytes and
    // control characters become spaces, so it stays one line of the log.
    std::optional<std::string> CAM_LastError() override;

    static constexpr std::size_t kLastErrorLimit = 512;

private:
    void *entry(const char *name, void *&cache);

    std::string m_path;
    void *m_handle = nullptr;
    void *m_init = nullptr;
    void *m_ping = nullptr;
    void *m_dumpFrame = nullptr;
    void *m_closePort = nullptr;
    void *m_lastError = nullptr;
};
