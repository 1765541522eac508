#pragma once

#include "common/frame_buffer.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// Raised when the driver library can not be loaded or lacks an entry; the
// text is the loader's own.
class DriverError : public std::runtime_error {
public:
    enum class Kind { NotLoaded, EntryMissing };

    DriverError(Kind kind, const std::string &text) : std::runtime_error(text), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// The four entries of the camera driver library as the console calls them.
// Each may raise DriverError when the library or the entry is missing.
// Results are 1 for success and anything else for failure. CAM_DumpFrame is
// handed a buffer of kFrameBufferSize bytes and writes no more than that.
class CameraDriver {
public:
    virtual ~CameraDriver() = default;
    virtual std::int32_t CAM_Init(const char *portName) = 0;
    virtual std::int32_t CAM_Ping() = 0;
    virtual std::int32_t CAM_DumpFrame(std::uint8_t *buffer) = 0;
    virtual void CAM_ClosePort() = 0;

    // The optional fifth entry: the library's own text for its last failure
    // ("" after a success), on one line. Nullopt where the library lacks the
    // entry; never raises.
    virtual std::optional<std::string> CAM_LastError() = 0;
};
