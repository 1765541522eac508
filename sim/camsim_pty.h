#pragma once

// camsim's pseudo-terminal and the symlink that names it (POSIX).

#include <cstddef>
#include <optional>
#include <string>

#include <termios.h>

namespace camsim {

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

    // Bytes written to the pty that the console has not read yet; nullopt
    // when the pty cannot tell.
    std::optional<std::size_t> unread() const;
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

// Removes the symlink at `linkPath` if it still points to `target` (another
// camsim may have taken the name over since).
void RemoveSymlink(const std::string &linkPath, const std::string &target);

// "what: <strerror(errno)>".
std::string Errno(const char *what);

} // namespace camsim
