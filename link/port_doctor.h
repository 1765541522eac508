#pragma once

#include <optional>
#include <string>
#include <vector>

// The port doctor: what keeps a serial device from being used, and what to
// do about it, in plain words. It works on facts gathered beforehand
// (PortFacts: made up in tests, read from the system by InspectPort in
// qt_io/), so the same diagnosis serves --check-port, the port errors on the
// command line and the window's error dialog.

// A process as /proc shows it.
struct PortProcess {
    int pid = 0;
    std::string name; // its command name (/proc/PID/comm)
    bool othersProcess = false; // it runs as another user
    bool operator==(const PortProcess &) const = default;
};

// What was found out about a device. Facts that could not be learnt stay at
// their defaults.
struct PortFacts {
    enum class Kind { Missing, CharacterDevice, RegularFile, Directory, BlockDevice, Pipe, Socket, Other };

    std::string device; // as named by the user
    std::string target; // the file it names when it is a link, else empty
    Kind kind = Kind::Missing;

    // Opening it for reading and writing, as the console does: 0 when that
    // worked, else the system's error number; nullopt when not tried.
    std::optional<int> openError;
    bool terminal = false; // opened, and it is a terminal
    bool lockedByOther = false; // another open description holds its flock

    // Who may use it.
    std::string owner; // user name (or number) of the device's owner
    std::string group; // group name (or number)
    unsigned mode = 0; // permission bits
    std::string user; // this user's name
    bool userIsRoot = false;
    bool userIsOwner = false;
    bool userInGroup = false; // per /etc/group (or the user's primary group)
    bool sessionHasGroup = false; // this process has the group now

    // Who has it.
    std::vector<PortProcess> holders; // other processes with it open
    std::vector<PortProcess> managers; // ModemManager, brltty: running, whether or not they hold it
    struct LockFile {
        std::string path; // e.g. /var/lock/LCK..ttyUSB0
        int pid = 0; // the process it names (0: unreadable)
        std::optional<PortProcess> process; // that process when it runs
        bool ownedByUser = false; // this user owns the lock file
        bool operator==(const LockFile &) const = default;
    };
    std::optional<LockFile> lockFile;

    // A USB adapter behind it (sysfs).
    struct Usb {
        std::string vendorId, productId; // four hex digits each
        std::string manufacturer, product, serialNumber, driver;
        bool operator==(const Usb &) const = default;
    };
    std::optional<Usb> usb;

    // What does exist, for a missing device: the serial ports the system
    // lists, and the names under /dev/serial/by-id with the device each names.
    std::vector<std::string> listedPorts;
    std::vector<std::pair<std::string, std::string>> byId;
};

struct PortDiagnosis {
    enum class Problem { None, Missing, NotSerial, Permission, Busy, StaleLock, CannotOpen };

    Problem problem = Problem::None;
    // One to three lines: the cause (or that the port is usable), then what
    // to do, then the USB adapter where there is one.
    std::vector<std::string> lines;

    bool usable() const { return problem == Problem::None; }
    // The lines, each ended by "\n".
    std::string text() const;
};

PortDiagnosis Diagnose(const PortFacts &facts);

// "crw-rw---- (0660)" for a character device's permission bits.
std::string ModeText(PortFacts::Kind kind, unsigned mode);
