#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// Waiting for a camera at port 1 on a production line: until its device
// exists and this user may open it (plugged in), or until it is gone
// (unplugged). The device is looked at every 100 ms: a stat and an access
// check, nothing a machine notices, and it follows what inotify on one
// folder would miss (a symbolic link such as /dev/serial/by-id/... or
// camsim's link, whose folder may come and go itself). The port is never
// opened to find out: an open can reset a device (DTR) and holds the port
// against the test that follows.

enum class PortWaitEnd {
    Reached, // the port is there (or gone) as asked
    TimedOut, // the limit passed first
    Stopped, // stop() said so (a signal came)
};

// Whether device exists as a character device (a symbolic link followed)
// that this user may read and write.
bool PortPresent(const std::string &device);

// Waits until PortPresent(device) is present, or limit (none: no limit)
// passes, or stop() returns true.
PortWaitEnd WaitForPort(const std::string &device, bool present, std::optional<std::chrono::milliseconds> limit,
                        const std::function<bool()> &stop);
