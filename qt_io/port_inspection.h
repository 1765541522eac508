#pragma once

#include "link/port_doctor.h"
#include "platform/port_advisor.h"

#include <optional>
#include <string>

// Reads the facts the port doctor judges from the system: the device's
// kind, owner, group and mode, whether this user may open it, the users and
// groups in /etc, the processes /proc shows holding it, the services known
// to take serial adapters, a UUCP lock file, the USB adapter in sysfs and
// what ports exist. The roots are replaced by made-up trees in tests.
struct SystemRoots {
    std::string sys = "/sys";
    std::string proc = "/proc";
    std::string etc = "/etc"; // passwd and group
    std::string lock = "/var/lock";
    std::string dev = "/dev"; // for serial/by-id
};

enum class PortProbe {
    Open, // open the device for reading and writing, as the console does, to see what happens
    AccessOnly, // never open it (listing ports: an open can reset a device on DTR)
};

PortFacts InspectPort(const std::string &device, const SystemRoots &roots = {}, PortProbe probe = PortProbe::Open);

// The USB adapter a serial device (a symbolic link followed) belongs to, as
// sysfs shows it; nullopt when it is none (a built-in port, a pty).
std::optional<PortFacts::Usb> UsbAdapterOf(const std::string &device, const SystemRoots &roots = {});

// Removes the lock file facts names when its process is gone and this user
// owns it, the only case where that is safe and allowed. True when removed.
bool RemoveStaleLock(const PortFacts &facts);

// The port doctor on the real system, for the port errors of the tests: the
// diagnosis of a device that could not be used, nothing when the doctor
// finds nothing wrong (the trouble has passed).
class SystemPortAdvisor final : public PortAdvisor {
public:
    std::vector<std::string> adviceFor(const std::string &device) override;
};
