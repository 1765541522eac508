#include "port_wait.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace {

constexpr std::chrono::milliseconds kLookEvery(100);

} // namespace

bool PortPresent(const std::string &device)
{
    struct stat info {};
    return ::stat(device.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && ::access(device.c_str(), R_OK | W_OK) == 0;
}

PortWaitEnd WaitForPort(const std::string &device, bool present, std::optional<std::chrono::milliseconds> limit,
                        const std::function<bool()> &stop)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (stop())
            return PortWaitEnd::Stopped;
        if (PortPresent(device) == present)
            return PortWaitEnd::Reached;
        if (limit && std::chrono::steady_clock::now() - start >= *limit)
            return PortWaitEnd::TimedOut;
        // A signal cuts the sleep short (nanosleep is not restarted).
        const timespec pause { 0, std::chrono::nanoseconds(kLookEvery).count() };
        ::nanosleep(&pause, nullptr);
    }
}
