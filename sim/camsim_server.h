#pragma once

// camsim's pseudo-terminal and its event loop (POSIX).

#include "sim/camsim_options.h"

#include <string>

#include <termios.h>

namespace camsim {

// Wire pace of 115200 baud, 8N1: 10 bits per byte.
inline constexpr int kBytesPerSecond = 11520;

// A pseudo-terminal whose slave side is set to raw 115200 8N1 and kept open
// by camsim itself, so the pty does not hang up when a console closes it.
class Pty {
public:
    Pty() = default;
    ~Pty() { close(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    // Opens a fresh pty (master non-blocking); false with `error` set on failure.
    bool open(std::string &error);
    // Closes master and slave: whoever has the slave open sees a hangup.
    void close();

    // Discards the bytes written to the pty that nobody read (call only
    // when no console has the slave open).
    void discardUnread();
    // Back to camsim's own settings after a console left: raw 115200 8N1,
    // and not exclusive (a console that set TIOCEXCL and died would
    // otherwise lock the next one out).
    void restoreSettings();

    int master() const { return m_master; }
    int slave() const { return m_slave; }
    const std::string &slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    termios m_settings {};
};

// Points a symlink at `linkPath` to `target`, replacing an existing symlink
// atomically. False with `error` set when linkPath is something else or the
// link cannot be made.
bool PlaceSymlink(const std::string &linkPath, const std::string &target, std::string &error);

// Runs the simulated camera until SIGTERM/SIGINT. Returns the exit status:
// 0 after a signal, 1 on a runtime failure (message on stderr).
int RunCamsim(const Options &options);

} // namespace camsim
