#pragma once

#include "camera_choices.h"
#include "qt_io/port_inspection.h"
#include "qt_io/system_ports.h"

#include <string>
#include <vector>

// The --list-ports text: one line per port (device path, then description,
// manufacturer, serial number and USB vendor:product where known), each
// followed by a warning when this user can not use it (warnings: the port
// doctor's diagnosis per device, where one was made), then a line saying
// which device port 1 is and why, and whether it is missing (port1Exists
// false: a wrong --port, an unplugged adapter, a stopped camsim).
std::string FormatPortListing(const std::vector<PortRecord> &ports, const PortChoice &port1, bool port1Exists = true,
                              const std::vector<PortDiagnosis> &diagnoses = {});

// The port doctor's diagnosis of each port, without opening any (AccessOnly).
std::vector<PortDiagnosis> DiagnosePorts(const std::vector<PortRecord> &ports, const SystemRoots &roots = {});

// --check-port: the diagnosis of device, after removing a stale lock file of
// this user's whose process is gone (saying so first).
struct PortCheck {
    std::string text;
    bool usable = false;
};
PortCheck CheckPort(const std::string &device, const SystemRoots &roots = {});

// A port's entry in the window's port menu: the device and, when known, its
// description.
std::string PortMenuText(const PortRecord &port);
