#pragma once

// Runs the simulated camera (camsim) as a child process for a test.
//
//   CamsimProcess cam({"--fast", "--fault", "DF=pause"});
//   setenv("CAMCONSOLE_PORT1", cam.linkPath().c_str(), 1);
//   ... run the console's test ...
//   EXPECT_EQ(cam.receivedCommands(), (std::vector<std::string>{"", "DF"}));
//
// The constructor makes a private temporary directory, starts camsim with
// "--link <dir>/port1 --log <dir>/commands.log" followed by the given
// arguments and waits (kGenerousTimeout at most) for the pty's device path
// on camsim's stdout. It throws std::runtime_error, with camsim's stderr in the
// message, when camsim does not start. The destructor stops camsim (SIGTERM,
// SIGKILL after 3 s), reaps it and removes the directory.

#include "wait_until.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <sys/types.h>

class CamsimProcess {
public:
    explicit CamsimProcess(std::vector<std::string> args = {});
    ~CamsimProcess();
    CamsimProcess(const CamsimProcess &) = delete;
    CamsimProcess &operator=(const CamsimProcess &) = delete;

    // The pty slave device camsim printed first.
    const std::string &devicePath() const { return m_devicePath; }
    // The symlink to the current device; set CAMCONSOLE_PORT1 to this. It
    // follows camsim to a fresh pty after a "hangup" fault.
    std::string linkPath() const { return m_dir + "/port1"; }
    // The private temporary directory (removed by the destructor).
    const std::string &directory() const { return m_dir; }
    pid_t pid() const { return m_pid; }

    // Commands camsim received so far, in order; a ping is "".
    std::vector<std::string> receivedCommands() const;
    // Waits until at least n commands were received; false after timeout.
    bool waitForCommands(std::size_t n, std::chrono::milliseconds timeout = kGenerousTimeout) const;

    // The next device path camsim prints (after a hangup it opens a fresh
    // pty); empty when none comes within the timeout.
    std::string nextDevicePath(std::chrono::milliseconds timeout = kGenerousTimeout);

    // Stops camsim now (SIGTERM, then SIGKILL after 3 s) and returns its
    // exit status, or -1 if it was killed by a signal. Later calls return
    // the same value.
    int stop();

    // What camsim wrote to stderr so far.
    std::string stderrText() const;

private:
    std::string readLine(std::chrono::milliseconds timeout);

    std::string m_dir;
    std::string m_devicePath;
    std::string m_stdoutBuffer;
    pid_t m_pid = -1;
    int m_stdoutFd = -1;
    bool m_exited = false;
    int m_exitStatus = -1;
};
