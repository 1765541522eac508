#pragma once

#include "link/serial_link.h"

#include <QSerialPort>

#include <optional>

// The serial link on a QSerialPort: 115200 baud, 8 data bits, no parity,
// one stop bit, no flow control.
//
// The console reads the link while it sleeps without running the event
// loop, so every read first pulls in whatever the operating system has
// received. A read or resource error while open (the device went away; a
// pseudo-terminal whose other end closed reports read errors over and over)
// ends the link: the port is closed once and the error raised once.
//
// One owner per device: an open port holds an exclusive flock() on its
// descriptor and the terminal's exclusive mode (TIOCEXCL), both released on
// close. The lock follows the device, not its name, so a second opener
// through a symlink or the device's own path is refused as busy, and it
// holds for root too (which TIOCEXCL does not stop). Error texts start with
// the device's path.
class QtSerialLink final : public SerialLink {
public:
    static constexpr int kBaudRate = 115200;

    QtSerialLink();

    void setPortNumber(int port) override;
    void setReceiveBufferSize(int bytes) override;
    void setPortOpen(bool open) override;
    bool portOpen() const override;
    void setOutput(const std::string &bytes) override;
    std::string input() override;
    int inBufferCount() override;

private:
    void claimDevice();
    void closeDevice();
    LinkError deviceError(LinkError::Cause cause, const std::string &text) const;
    void requireClosed() const;
    void requireOpen() const;
    void pullReceived();
    void raiseIfLost();
    [[noreturn]] void failAndClose(LinkError::Cause cause);

    QSerialPort m_port;
    int m_portNumber = 1;
    int m_receiveBufferSize = 1024;
    std::string m_device; // the path opened last
    bool m_ownsDevice = false; // the lock and exclusive mode are ours to release
    std::optional<LinkError> m_lost;
};
