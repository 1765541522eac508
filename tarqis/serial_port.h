#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarqis {

// One raw serial port at 115200 8N1 without flow control, opened
// non-blocking; every wait is bounded by a timeout given in milliseconds.
//
// An open port holds an exclusive flock() on its descriptor and the
// terminal's exclusive mode (TIOCEXCL), both released by close(): a device
// that another holder of the lock has open (under any name) does not open.
// After a failure, lastError() says what failed, starting with the device.
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
    // The device opened last.
    const std::string &device() const noexcept { return m_device; }
    // "<device>: <cause>" for the last failed operation.
    const char *lastError() const noexcept { return m_error; }

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
    bool fail(const char *cause) noexcept;
    bool failWithErrno(int error) noexcept;

    int m_fd = -1;
    bool m_owner = false; // the lock and exclusive mode are ours to release
    std::string m_device;
    char m_error[512] = {}; // fixed, so that failing never allocates
};

} // namespace tarqis
