// The four exported entries of libtarqis.so. Everything else in the library
// has hidden visibility.

#include "tarqis.h"

#include "common/frame_buffer.h"
#include "common/port_device.h"
#include "dump_reader.h"
#include "serial_port.h"

#include <chrono>
#include <cstring>
#include <mutex>

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

} // namespace

extern "C" {

TARQIS_API int32_t CAM_Init(const char *port)
{
    const std::lock_guard lock(g_mutex);
    g_port.close();
    const int number = PortNumberFromName(port);
    if (number <= 0)
        return 0;
    return g_port.open(PortDevicePath(number)) ? 1 : 0;
}

TARQIS_API int32_t CAM_Ping(void)
{
    const std::lock_guard lock(g_mutex);
    if (!g_port.isOpen())
        return 0;
    if (!g_port.discardInput() || !g_port.writeAll("\r", 1, kWriteTimeoutMs))
        return 0;

    std::uint8_t chunk[256];
    char head[3] = {};
    std::size_t headSize = 0;
    const auto keep = [&](long got) {
        for (long i = 0; i < got && headSize < sizeof head; ++i)
            head[headSize++] = static_cast<char>(chunk[i]);
    };

    const long first = g_port.readSome(chunk, sizeof chunk, TARQIS_PING_TIMEOUT_MS);
    if (first <= 0)
        return 0;
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
    return headSize == sizeof head && std::memcmp(head, "ACK", sizeof head) == 0 ? 1 : 0;
}

TARQIS_API int32_t CAM_DumpFrame(uint8_t *buffer)
{
    const std::lock_guard lock(g_mutex);
    if (!buffer || !g_port.isOpen())
        return 0;
    if (!g_port.discardInput() || !g_port.writeAll("DF\r", 3, kWriteTimeoutMs))
        return 0;

    DumpReader reader(buffer, TARQIS_FRAME_BUFFER_SIZE);
    std::uint8_t chunk[4096];
    while (!reader.finished()) {
        const long got = g_port.readSome(chunk, sizeof chunk, TARQIS_DUMP_IDLE_TIMEOUT_MS);
        if (got <= 0)
            return 0;
        // Bytes after the end marker in the same chunk (the camera's prompt)
        // are dropped with the chunk.
        reader.feed(chunk, static_cast<std::size_t>(got));
    }
    return reader.status() == DumpReader::Status::Complete ? 1 : 0;
}

TARQIS_API int32_t CAM_ClosePort(void)
{
    const std::lock_guard lock(g_mutex);
    g_port.close();
    return 1;
}

} // extern "C"
