#pragma once

#include "camera_choices.h"
#include "qt_io/system_ports.h"

#include <string>
#include <vector>

// The --list-ports text: one line per port (device path, then description,
// manufacturer, serial number and USB vendor:product where known), then a
// line saying which device port 1 is and why, and whether it is missing
// (port1Exists false: a wrong --port, an unplugged adapter, a stopped camsim).
std::string FormatPortListing(const std::vector<PortRecord> &ports, const PortChoice &port1, bool port1Exists = true);

// A port's entry in the window's port menu: the device and, when known, its
// description.
std::string PortMenuText(const PortRecord &port);
