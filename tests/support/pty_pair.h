#pragma once

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
    // Reads what the console sent, waiting up to timeoutMs for the first byte.
    std::string receive(int timeoutMs = 500);
    // Closes the camera's end: the device hangs up.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_devicePath;
};
