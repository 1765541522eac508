#pragma once

// Which consoles have camsim's device open (Linux inotify).
//
// camsim keeps the pty's slave open itself, so the pty alone never shows a
// console coming or going. inotify reports every open and close of the
// slave device; counting them tells whether a console is there. Without
// inotify, or after its queue overflowed, a console is assumed present.

#include <functional>
#include <string>

namespace camsim {

class ConsoleWatch {
public:
    ConsoleWatch() = default;
    ~ConsoleWatch() { stop(); }
    ConsoleWatch(const ConsoleWatch &) = delete;
    ConsoleWatch &operator=(const ConsoleWatch &) = delete;

    // Starts counting the opens and closes of `devicePath` from zero.
    void start(const std::string &devicePath);
    void stop();

    // The descriptor to poll for events; -1 when not watching.
    int fd() const { return m_fd; }

    // Reads the pending events; calls `lastLeft` once when the last console
    // closed the device meanwhile, telling whether a console has it open
    // again by the last event (one came straight after, before camsim ran).
    void readEvents(const std::function<void(bool consoleBack)> &lastLeft);

    bool consolePresent() const { return !m_known || m_consoles > 0; }

private:
    int m_fd = -1;
    bool m_known = false; // m_consoles is reliable
    int m_consoles = 0; // open file descriptions of the device, besides camsim's
};

} // namespace camsim
