#pragma once

#include <cstddef>
#include <string>

// A pseudo-terminal whose device a test opens as a serial port, with the
// other end held by the test to play the camera.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const std::string &devicePath() const { return m_devicePath; }
    // Writes bytes as the camera.
    void send(const std::string &bytes);
    // Reads what the console sent until count bytes came (or a generous
    // timeout passed: then fewer).
    std::string receive(std::size_t count);
    // Bytes sent to the device that nobody has read from it yet.
    std::size_t unreadByDevice() const;
    // Closes the camera's end: the device hangs up.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_devicePath;
};

// Whether a terminal device is in exclusive mode (TIOCEXCL), asked through a
// descriptor of its own: root may open it anyway and ask, others are refused
// with EBUSY.
bool TerminalIsExclusive(const std::string &device);
