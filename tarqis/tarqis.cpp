// The exported entries of libtarqis.so. Everything else in the library has
// hidden visibility.

#include "tarqis.h"

#include "common/frame_buffer.h"
#include "common/port_device.h"
#include "dump_reader.h"
#include "serial_port.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>

namespace {

using tarqis::DumpReader;
using tarqis::SerialPort;
using Clock = std::chrono::steady_clock;

// Room for a command in the output queue; commands are a few bytes long.
constexpr int kWriteTimeoutMs = 1000;
// A ping reply is a few bytes ("ACK\r:"); drain at most this long after the
// first byte so a camera that keeps talking can not hold the call.
constexpr int kPingDrainLimitMs = 500;

// tarqis.h is plain C and states the size on its own; it must be the size
// the console allocates and decodes.
static_assert(TARQIS_FRAME_BUFFER_SIZE == kFrameBufferSize);

std::mutex g_mutex;
SerialPort g_port;
// What CAM_LastError returns: fixed storage, so the pointer handed out stays
// valid (its text may change with the next call of an entry).
char g_lastError[600] = {};

std::int32_t Succeed()
{
    g_lastError[0] = '\0';
    return 1;
}

std::int32_t Fail(const char *text)
{
    std::snprintf(g_lastError, sizeof g_lastError, "%s", text);
    return 0;
}

// A failure of the port's own, with the device and the system's words.
std::int32_t FailOnPort()
{
    return Fail(g_port.lastError());
}

// A failure the camera's reply caused, named after the open device.
std::int32_t FailOnDevice(const char *cause)
{
    std::snprintf(g_lastError, sizeof g_lastError, "%s: %s", g_port.device().c_str(), cause);
    return 0;
}

constexpr const char *kNoPort = "no port is open";

} // namespace

extern "C" {

TARQIS_API int32_t CAM_Init(const char *port)
{
    const std::lock_guard lock(g_mutex);
    g_port.close();
    if (!port)
        return Fail("no port name given");
    const int number = PortNumberFromName(port);
    if (number <= 0) {
        std::snprintf(g_lastError, sizeof g_lastError, "\"%.40s\" is not a port name such as COM1", port);
        return 0;
    }
    return g_port.open(PortDevicePath(number)) ? Succeed() : FailOnPort();
}

TARQIS_API int32_t CAM_Ping(void)
{
    const std::lock_guard lock(g_mutex);
    if (!g_port.isOpen())
        return Fail(kNoPort);
    if (!g_port.discardInput() || !g_port.writeAll("\r", 1, kWriteTimeoutMs))
        return FailOnPort();

    std::uint8_t chunk[256];
    char head[3] = {};
    std::size_t headSize = 0;
    const auto keep = [&](long got) {
        for (long i = 0; i < got && headSize < sizeof head; ++i)
            head[headSize++] = static_cast<char>(chunk[i]);
    };

    const long first = g_port.readSome(chunk, sizeof chunk, TARQIS_PING_TIMEOUT_MS);
    if (first < 0)
        return FailOnPort();
    if (first == 0)
        return FailOnDevice("the camera did not answer the ping");
    keep(first);

    // Read on until the reply pauses, so its tail (the prompt) is not left
    // in front of the next command's reply.
    const auto drainEnd = Clock::now() + std::chrono::milliseconds(kPingDrainLimitMs);
    while (Clock::now() < drainEnd) {
        const long got = g_port.readSome(chunk, sizeof chunk, TARQIS_REPLY_QUIET_MS);
        if (got <= 0)
            break;
        keep(got);
    }
    if (headSize == sizeof head && std::memcmp(head, "ACK", sizeof head) == 0)
        return Succeed();
    return FailOnDevice("the camera's reply to the ping does not start with \"ACK\"");
}

TARQIS_API int32_t CAM_DumpFrame(uint8_t *buffer)
{
    const std::lock_guard lock(g_mutex);
    if (!buffer)
        return Fail("no frame buffer given");
    if (!g_port.isOpen())
        return Fail(kNoPort);
    if (!g_port.discardInput() || !g_port.writeAll("DF\r", 3, kWriteTimeoutMs))
        return FailOnPort();

    DumpReader reader(buffer, TARQIS_FRAME_BUFFER_SIZE);
    std::uint8_t chunk[4096];
    while (!reader.finished()) {
        const long got = g_port.readSome(chunk, sizeof chunk, TARQIS_DUMP_IDLE_TIMEOUT_MS);
        if (got < 0)
            return FailOnPort();
        if (got == 0) {
            if (reader.size() == 0)
                return FailOnDevice("the camera did not answer \"DF\"");
            const std::string_view received(reinterpret_cast<const char *>(buffer), reader.size());
            if (received.find("ACK") == std::string_view::npos)
                return FailOnDevice("the camera did not acknowledge \"DF\"");
            return FailOnDevice("the frame stopped before its end marker");
        }
        // Bytes after the end marker in the same chunk (the camera's prompt)
        // are dropped with the chunk.
        reader.feed(chunk, static_cast<std::size_t>(got));
    }
    if (reader.status() == DumpReader::Status::Complete)
        return Succeed();
    return FailOnDevice("the frame did not end within the frame buffer");
}

TARQIS_API int32_t CAM_ClosePort(void)
{
    const std::lock_guard lock(g_mutex);
    g_port.close();
    return Succeed();
}

TARQIS_API const char *CAM_LastError(void)
{
    const std::lock_guard lock(g_mutex);
    return g_lastError;
}

} // extern "C"
