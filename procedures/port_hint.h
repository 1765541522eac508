#pragma once

#include "link/serial_link.h"

#include <string_view>

// Plain-language hints for the port failures people meet most: a missing
// device, a refused permission, a port in use.

// The hint for a port error of that cause, or null.
const char *PortErrorHint(LinkError::Cause cause);

// The hint for a driver library's failure text, or null. The library names
// the cause in words: the system's own ("No such file or directory",
// "Permission denied") or that the port is in use or busy.
const char *DriverErrorHint(std::string_view text);
