#pragma once

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

// The serial ports the system reports now. Enumerating probes the devices
// (Qt opens /dev/ttyS* to see whether a UART answers), so only the console
// itself calls this, never a test.
std::vector<PortRecord> SystemPorts();
