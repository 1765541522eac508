#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarqis {

// One raw serial port at 115200 8N1 without flow control, opened
// non-blocking; every wait is bounded by a timeout given in milliseconds.
class SerialPort {
public:
    SerialPort() = default;
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;
    ~SerialPort() { close(); }

    // Opens and configures device, flushing both directions. Closes a port
    // that is already open first. False (and closed) on any failure.
    bool open(const std::string &device);
    void close() noexcept;
    bool isOpen() const noexcept { return m_fd >= 0; }

    // Drops everything received and not yet read.
    bool discardInput() noexcept;

    // Writes all of data, waiting at most timeoutMs for room in the output
    // queue at a time. False on error or timeout.
    bool writeAll(const void *data, std::size_t size, int timeoutMs) noexcept;

    // Waits up to timeoutMs for input, then reads what is available (at most
    // capacity bytes). Returns the number of bytes read, 0 on timeout, -1 on
    // error or hang-up.
    long readSome(std::uint8_t *buffer, std::size_t capacity, int timeoutMs) noexcept;

private:
    bool configure() noexcept;

    int m_fd = -1;
};

} // namespace tarqis
