#pragma once

#include "link/serial_link.h"

#include <optional>
#include <string_view>

// Plain-language hints for the port failures people meet most: a missing
// device, a refused permission, a port in use.

// The hint for a port error of that cause, or null.
const char *PortErrorHint(LinkError::Cause cause);

// The port failure a driver library's failure text names, if any. The
// library names the cause in words: the system's own ("No such file or
// directory", "Permission denied") or that the port is in use or busy.
std::optional<LinkError::Cause> DriverPortCause(std::string_view text);

// The hint for a driver library's failure text, or null.
const char *DriverErrorHint(std::string_view text);
