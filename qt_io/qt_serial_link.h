#pragma once

#include "link/serial_link.h"

#include <QSerialPort>

#include <optional>

// The serial link on a QSerialPort: 115200 baud, 8 data bits, no parity,
// one stop bit, no flow control.
//
// The console reads the link while it sleeps without running the event
// loop, so every read first pulls in whatever the operating system has
// received. A read or resource error while open, or a hang-up (the device
// went away, or a pseudo-terminal's other end closed), ends the link: the
// port is closed once and the error raised once.
//
// One owner per device: an open port holds an exclusive flock() on a
// descriptor of its own, taken before QSerialPort opens the device, and the
// terminal's exclusive mode (TIOCEXCL), both released on close. The lock
// follows the device, not its name, so a second opener through a symlink or
// the device's own path is refused as busy without disturbing the holder,
// and it holds for root too (which TIOCEXCL does not stop). Error texts
// start with the device's path.
class QtSerialLink final : public SerialLink {
public:
    static constexpr int kBaudRate = 115200;

    QtSerialLink();
    ~QtSerialLink() override;
    QtSerialLink(const QtSerialLink &) = delete;
    QtSerialLink &operator=(const QtSerialLink &) = delete;

    void setPortNumber(int port) override;
    void setReceiveBufferSize(int bytes) override;
    void setPortOpen(bool open) override;
    bool portOpen() const override;
    void setOutput(const std::string &bytes) override;
    std::string input() override;
    int inBufferCount() override;

private:
    void lockDevice();
    void closeDevice();
    LinkError deviceError(LinkError::Cause cause, const std::string &text) const;
    LinkError readError() const;
    void requireClosed() const;
    void requireOpen() const;
    void pullReceived();
    void raiseIfLost();
    [[noreturn]] void failAndClose(LinkError::Cause cause);
    [[noreturn]] void closeAndThrow(LinkError error);

    QSerialPort m_port;
    int m_portNumber = 1;
    int m_receiveBufferSize = 1024;
    std::string m_device; // the path opened last
    int m_lockFd = -1; // our own descriptor of the device, holding its flock while open
    std::optional<LinkError> m_lost;
};
