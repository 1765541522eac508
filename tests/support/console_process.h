#pragma once

// Runs camconsole as a child process with no display: DISPLAY,
// WAYLAND_DISPLAY and QT_QPA_PLATFORM are removed from its environment.
//
//   ConsoleProcess console({"--run", "normal", "--port", cam.linkPath()});
//   EXPECT_EQ(console.wait(), 0);
//   EXPECT_EQ(console.out(), "...");
//
// stdout and stderr go to files in a private temporary directory, removed
// by the destructor (which also kills a console still running).

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

class ConsoleProcess {
public:
    // environment: NAME=value entries added to the console's environment.
    explicit ConsoleProcess(std::vector<std::string> args, std::vector<std::string> environment = {});
    ~ConsoleProcess();
    ConsoleProcess(const ConsoleProcess &) = delete;
    ConsoleProcess &operator=(const ConsoleProcess &) = delete;

    // Waits until the console has ended and returns its exit status, or
    // 128 + the signal that ended it; -1 when it was still running after
    // timeout (it is then killed).
    int wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(60000));
    // Waits until stdout holds text; false after timeout or when the console
    // ended without writing it.
    bool waitForOutput(const std::string &text,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) const;
    void signal(int signal) const;
    // True while the console has not ended (it is never killed here).
    bool running()
    {
        int status = 0;
        return !exited(&status);
    }
    // The signal that ended the console, or 0 when it exited (or runs).
    int endedBySignal() const { return m_signal; }

    std::string out() const;
    std::string err() const;

private:
    bool exited(int *status);
    std::string pathFor(const std::string &name) const { return m_dir + "/" + name; }

    std::string m_dir;
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_status = -1;
    int m_signal = 0;
};

// The lines of a text split at "\n" (a last line without one included).
std::vector<std::string> OutputLines(const std::string &text);
