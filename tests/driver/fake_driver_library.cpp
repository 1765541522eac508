// A stand-in camera driver library for the console's tests. What CAM_DumpFrame
// writes is chosen by the environment variable FAKE_DRIVER_DUMP:
//   empty        writes nothing, returns 0
//   at-zero      a frame whose start stands at index 0
//   behind-ack   "ACK\r" and then a frame
//   past-end     a frame that runs past index 34407 of the buffer
//   end-first    "ACK\r" and an end marker, no frame start
//   hang         never returns (stands for a library stuck in a read)
// FakeDriver_Calls() returns the entries called so far, one a line.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string g_calls;

std::string Mode()
{
    const char *mode = std::getenv("FAKE_DRIVER_DUMP");
    return mode ? mode : "empty";
}

std::size_t WriteFrame(std::uint8_t *buffer, std::size_t at, int columns, int rows)
{
    buffer[at++] = 1;
    for (int column = 0; column < columns; ++column) {
        buffer[at++] = 2;
        for (int row = 0; row < rows; ++row) {
            buffer[at++] = static_cast<std::uint8_t>(16 + column);
            buffer[at++] = static_cast<std::uint8_t>(16 + row);
            buffer[at++] = 200;
        }
    }
    buffer[at++] = 3;
    return at;
}

} // namespace

FAKE_EXPORT std::int32_t CAM_Init(const char *port)
{
    g_calls += std::string("CAM_Init ") + (port ? port : "(null)") + "\n";
    return 1;
}

FAKE_EXPORT std::int32_t CAM_Ping()
{
    g_calls += "CAM_Ping\n";
    return Mode() == "empty" ? 0 : 1;
}

FAKE_EXPORT std::int32_t CAM_DumpFrame(std::uint8_t *buffer)
{
    g_calls += "CAM_DumpFrame\n";
    const std::string mode = Mode();
    if (mode == "at-zero") {
        WriteFrame(buffer, 0, 3, 4);
    } else if (mode == "behind-ack") {
        std::memcpy(buffer, "ACK\r", 4);
        WriteFrame(buffer, 4, 3, 4);
    } else if (mode == "end-first") {
        std::memcpy(buffer, "ACK\r\3", 5);
    } else if (mode == "hang") {
        for (;;)
            ::pause();
    } else if (mode == "past-end") {
        // Filler up to a frame start at 34402: its column marker at 34403,
        // a pixel at 34404..34406, a second starting at 34407, the last
        // examined index, whose green and blue lie beyond it; then the end
        // marker at 34410, which is never examined.
        std::memcpy(buffer, "ACK\r", 4);
        std::memset(buffer + 4, 'x', 34402 - 4);
        const std::uint8_t tail[] = { 1, 2, 10, 20, 30, 40, 50, 60, 3 };
        std::memcpy(buffer + 34402, tail, sizeof tail);
    } else {
        return 0;
    }
    return 1;
}

FAKE_EXPORT std::int32_t CAM_ClosePort()
{
    g_calls += "CAM_ClosePort\n";
    return 1;
}

FAKE_EXPORT const char *FakeDriver_Calls()
{
    return g_calls.c_str();
}
