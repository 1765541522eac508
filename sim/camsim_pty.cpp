#include "sim/camsim_pty.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// After the last console closes, unread bytes are discarded until none has
// come for kDiscardQuietMs, for at most kDiscardLimit.
constexpr int kDiscardQuietMs = 2;
constexpr auto kDiscardLimit = 200ms;

} // namespace

std::string Errno(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool Pty::open(std::string &error)
{
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = Errno("grantpt/unlockpt");
        close();
        return false;
    }
    char name[256];
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        error = Errno("ptsname_r");
        close();
        return false;
    }
    m_slavePath = name;
    // Non-blocking: camsim reads its own slave only to discard what a
    // departed console left unread.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slave < 0) {
        error = Errno("open pty slave");
        close();
        return false;
    }
    termios tio {};
    if (::tcgetattr(m_slave, &tio) != 0) {
        error = Errno("tcgetattr");
        close();
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        error = Errno("tcsetattr");
        close();
        return false;
    }
    m_settings = tio;
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Errno("fcntl O_NONBLOCK");
        close();
        return false;
    }
    return true;
}

std::optional<std::size_t> Pty::unread() const
{
    int pending = 0;
    if (m_slave < 0 || ::ioctl(m_slave, TIOCINQ, &pending) != 0 || pending < 0)
        return std::nullopt;
    return static_cast<std::size_t>(pending);
}

void Pty::discardUnread()
{
    if (m_slave < 0)
        return;
    // Flushing does not reliably reach what still waits in the pty's own
    // buffers: that flows in once the line discipline has room. So flush,
    // then read the slave dry until nothing has come for a moment (bounded).
    ::tcflush(m_master, TCOFLUSH);
    ::tcflush(m_slave, TCIFLUSH);
    const auto deadline = Clock::now() + kDiscardLimit;
    char scratch[4096];
    while (Clock::now() < deadline) {
        pollfd pfd { m_slave, POLLIN, 0 };
        if (::poll(&pfd, 1, kDiscardQuietMs) <= 0)
            break;
        if (::read(m_slave, scratch, sizeof scratch) <= 0)
            break;
    }
}

void Pty::restoreSettings()
{
    if (m_slave < 0)
        return;
    ::ioctl(m_slave, TIOCNXCL);
    ::tcsetattr(m_slave, TCSANOW, &m_settings);
}

void Pty::close()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

bool PlaceSymlink(const std::string &linkPath, const std::string &target, std::string &error)
{
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = linkPath + " exists and is not a symlink";
        return false;
    }
    const std::string tmp = linkPath + ".camsim-" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0) {
        // The temporary name is camsim's own business: name the user's path.
        error = Errno(("cannot place the link " + linkPath).c_str());
        return false;
    }
    if (::rename(tmp.c_str(), linkPath.c_str()) != 0) {
        error = Errno(("rename to " + linkPath).c_str());
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

void RemoveSymlink(const std::string &linkPath, const std::string &target)
{
    char buf[512];
    const ssize_t n = ::readlink(linkPath.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target)
        ::unlink(linkPath.c_str());
}

} // namespace camsim
