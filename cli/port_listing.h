#pragma once

#include "camera_choices.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One serial port as the system reports it; empty texts are unknown.
struct PortRecord {
    std::string device; // e.g. /dev/ttyUSB0
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
    std::optional<std::uint16_t> vendorId; // USB ids, when it is a USB device
    std::optional<std::uint16_t> productId;
};

// The --list-ports text: one line per port (device path, then description,
// manufacturer, serial number and USB vendor:product where known), then a
// line saying which device port 1 is and why.
std::string FormatPortListing(const std::vector<PortRecord> &ports, const PortChoice &port1);

// A port's entry in the window's port menu: the device and, when known, its
// description.
std::string PortMenuText(const PortRecord &port);

// The serial ports the system reports now. Enumerating probes the devices
// (Qt opens /dev/ttyS* to see whether a UART answers), so only the console
// itself calls this, never a test.
std::vector<PortRecord> SystemPorts();
