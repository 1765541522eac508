#include "serial_port.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarqis {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, never negative.
int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for events on fd until they occur or timeoutMs pass, resuming after
// signals. Returns the revents, 0 on timeout, -1 on error.
int waitFor(int fd, short events, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd pfd { fd, events, 0 };
        const int ready = ::poll(&pfd, 1, remainingMs(deadline));
        if (ready > 0)
            return pfd.revents;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace

bool SerialPort::fail(const char *cause) noexcept
{
    std::snprintf(m_error, sizeof m_error, "%s: %s", m_device.c_str(), cause);
    return false;
}

bool SerialPort::failWithErrno(int error) noexcept
{
    // EBUSY: another program holds the terminal in exclusive mode.
    return fail(error == EBUSY ? "the port is in use by another program" : std::strerror(error));
}

bool SerialPort::open(const std::string &device)
{
    close();
    m_device = device;
    // O_NONBLOCK keeps open() from waiting for carrier and read() from ever
    // blocking; all waits go through poll() with a timeout.
    m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0)
        return failWithErrno(errno);
    // The lock is taken before anything changes on the device, so a port
    // that another holder has open is left exactly as it was.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        return failWithErrno(error == EWOULDBLOCK ? EBUSY : error);
    }
    m_owner = true;
    ::ioctl(m_fd, TIOCEXCL); // keeps other users out; root is stopped by the lock alone
    if (!configure()) {
        close();
        return false;
    }
    return true;
}

bool SerialPort::configure() noexcept
{
    termios tio {};
    if (::tcgetattr(m_fd, &tio) != 0)
        return fail("not a serial port");

    // Raw: no input or output processing, no echo, no canonical lines, no
    // signals, so every byte value (0, 3, 13, 17, 19 ...) passes unchanged.
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0 || ::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return failWithErrno(errno);

    // tcsetattr succeeds when any one change was applied; check that the ones
    // the camera depends on took effect.
    termios applied {};
    if (::tcgetattr(m_fd, &applied) != 0)
        return failWithErrno(errno);
    if (::cfgetospeed(&applied) != B115200 || (applied.c_cflag & CSIZE) != CS8
        || (applied.c_cflag & (PARENB | CSTOPB | CRTSCTS)) != 0 || (applied.c_iflag & (IXON | IXOFF)) != 0
        || (applied.c_lflag & ICANON) != 0)
        return fail("the port does not take 115200 baud, 8N1, raw");

    return ::tcflush(m_fd, TCIOFLUSH) == 0 || failWithErrno(errno);
}

void SerialPort::close() noexcept
{
    if (m_fd < 0)
        return;
    if (m_owner) {
        ::ioctl(m_fd, TIOCNXCL);
        ::flock(m_fd, LOCK_UN);
        m_owner = false;
    }
    ::close(m_fd);
    m_fd = -1;
}

bool SerialPort::discardInput() noexcept
{
    if (m_fd < 0)
        return false;
    return ::tcflush(m_fd, TCIFLUSH) == 0 || failWithErrno(errno);
}

bool SerialPort::writeAll(const void *data, std::size_t size, int timeoutMs) noexcept
{
    if (m_fd < 0)
        return false;
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    while (size > 0) {
        const ssize_t written = ::write(m_fd, bytes, size);
        if (written > 0) {
            bytes += written;
            size -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return failWithErrno(errno);
        const int revents = waitFor(m_fd, POLLOUT, timeoutMs);
        if (revents < 0)
            return failWithErrno(errno);
        if (revents == 0)
            return fail("the command could not be sent: the output stayed full");
        if (revents & (POLLERR | POLLHUP | POLLNVAL))
            return fail("the device hung up");
    }
    return true;
}

long SerialPort::readSome(std::uint8_t *buffer, std::size_t capacity, int timeoutMs) noexcept
{
    if (m_fd < 0)
        return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool polledReadable = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, capacity);
        if (got > 0)
            return static_cast<long>(got);
        if (got == 0) {
            // Nothing read although poll() reported input: end of file, the
            // other end has gone.
            if (capacity == 0)
                return 0;
            if (polledReadable) {
                fail("the device hung up");
                return -1;
            }
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            failWithErrno(errno);
            return -1;
        }
        const int wait = remainingMs(deadline);
        if (wait == 0)
            return 0;
        const int revents = waitFor(m_fd, POLLIN, wait);
        if (revents < 0) {
            failWithErrno(errno);
            return -1;
        }
        if (revents == 0)
            return 0;
        if ((revents & POLLIN) == 0 && (revents & (POLLERR | POLLHUP | POLLNVAL))) {
            fail("the device hung up");
            return -1;
        }
        polledReadable = true;
    }
}

} // namespace tarqis
