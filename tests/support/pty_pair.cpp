#include "pty_pair.h"

#include "wait_until.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

PtyPair::PtyPair()
{
    char name[256] = {};
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    m_devicePath = name;
}

PtyPair::~PtyPair()
{
    hangUp();
}

void PtyPair::send(const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::runtime_error("pty write failed");
        done += static_cast<std::size_t>(n);
    }
}

std::string PtyPair::receive(std::size_t count)
{
    std::string result;
    WaitUntil([&] {
        pollfd fd { m_master, POLLIN, 0 };
        while (result.size() < count && poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            result.append(buffer, static_cast<std::size_t>(n));
        }
        return result.size() >= count;
    });
    return result;
}

std::size_t PtyPair::unreadByDevice() const
{
    // The device's input queue is shared by every open file of it, so the
    // slave end held here sees what the console's own file would read.
    int queued = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &queued) != 0)
        return 0;
    return static_cast<std::size_t>(queued);
}

void PtyPair::hangUp()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

bool TerminalIsExclusive(const std::string &device)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    int exclusive = 0;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    return exclusive != 0;
}
