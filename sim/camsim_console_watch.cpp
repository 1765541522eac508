#include "sim/camsim_console_watch.h"

#include <filesystem>
#include <string>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace camsim {

namespace {

// Whether a process other than camsim has the device open, by its
// descriptors in /proc (those of other users' processes are readable to
// root only).
bool OpenElsewhere(dev_t device)
{
    namespace fs = std::filesystem;
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (fs::directory_iterator process("/proc", error), end; !error && process != end; process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(process->path() / "fd", fdError); !fdError && fd != end; fd.increment(fdError)) {
            struct stat target {};
            if (::stat(fd->path().c_str(), &target) == 0 && S_ISCHR(target.st_mode) && target.st_rdev == device)
                return true;
        }
    }
    return false;
}

} // namespace

void ConsoleWatch::start(const std::string &devicePath)
{
    stop();
    m_consoles = 0;
    struct stat device {};
    if (::stat(devicePath.c_str(), &device) != 0)
        return;
    m_device = device.st_rdev;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    if (::inotify_add_watch(m_fd, devicePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        stop();
        return;
    }
    m_known = true;
}

void ConsoleWatch::stop()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_known = false;
}

void ConsoleWatch::readEvents(const std::function<void()> &lastLeft)
{
    if (m_fd < 0)
        return;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto *ev = reinterpret_cast<const inotify_event *>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                m_known = false; // lost count: assume someone is there
            } else if (ev->mask & IN_OPEN) {
                ++m_consoles;
            } else if ((ev->mask & IN_CLOSE) && m_consoles > 0) {
                if (--m_consoles == 0 && OpenElsewhere(m_device))
                    m_consoles = 1; // merged opens: someone is still there
                else if (m_consoles == 0 && m_known)
                    lastLeft();
            }
        }
    }
}

} // namespace camsim
