#pragma once

#include <stdexcept>
#include <string>
#include <utility>

// Raised by the serial link's operations, with the serial component's own
// error text and, where one is concerned, the device's path.
class LinkError : public std::runtime_error {
public:
    enum class Cause { Other, PermissionDenied, NoSuchDevice, Busy, AlreadyOpen, NotOpen, ReadFailed, WriteFailed };

    LinkError(Cause cause, const std::string &text, std::string device = {})
        : std::runtime_error(text), m_cause(cause), m_device(std::move(device))
    {
    }
    Cause cause() const { return m_cause; }
    const std::string &device() const { return m_device; }

private:
    Cause m_cause;
    std::string m_device;
};

// The serial link "Com" to the camera. Received data is a byte string in
// which every byte value, NUL included, stands as itself.
class SerialLink {
public:
    virtual ~SerialLink() = default;

    // Only while closed; LinkError otherwise.
    virtual void setPortNumber(int port) = 0;
    virtual void setReceiveBufferSize(int bytes) = 0;

    // PortOpen: true opens with 115200 8N1, no flow control (LinkError when
    // already open or the device can not be opened); false closes, and is a
    // no-op on a closed port.
    virtual void setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // Output: hands the bytes to the port and returns without waiting.
    virtual void setOutput(const std::string &bytes) = 0;
    // Input: everything received and not yet read (possibly nothing).
    virtual std::string input() = 0;
    // InBufferCount: the number of bytes received and not yet read.
    virtual int inBufferCount() = 0;
};
