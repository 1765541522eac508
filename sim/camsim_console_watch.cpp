#include "sim/camsim_console_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

namespace camsim {

void ConsoleWatch::start(const std::string &devicePath)
{
    stop();
    m_consoles = 0;
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

void ConsoleWatch::readEvents(const std::function<void(bool consoleBack)> &lastLeft)
{
    if (m_fd < 0)
        return;
    alignas(inotify_event) char buf[4096];
    bool left = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto *ev = reinterpret_cast<const inotify_event *>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                m_known = false; // lost count: assume someone is there
            } else if (ev->mask & IN_OPEN) {
                ++m_consoles;
            } else if ((ev->mask & IN_CLOSE) && m_consoles > 0) {
                if (--m_consoles == 0 && m_known)
                    left = true;
            }
        }
    }
    if (left)
        lastLeft(consolePresent());
}

} // namespace camsim
