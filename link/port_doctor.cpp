#include "port_doctor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Kind = PortFacts::Kind;
using Problem = PortDiagnosis::Problem;

// The device as named, and the file it names when that is another.
std::string Named(const PortFacts &facts)
{
    if (facts.target.empty() || facts.target == facts.device)
        return facts.device;
    return facts.device + " (" + facts.target + ")";
}

std::string KindText(Kind kind)
{
    switch (kind) {
    case Kind::RegularFile:
        return "a regular file";
    case Kind::Directory:
        return "a directory";
    case Kind::BlockDevice:
        return "a block device";
    case Kind::Pipe:
        return "a named pipe";
    case Kind::Socket:
        return "a socket";
    case Kind::CharacterDevice:
        return "a character device but not a terminal";
    default:
        return "not a device";
    }
}

std::string Joined(const std::vector<std::string> &items, const std::string &last)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += i + 1 == items.size() ? last : ", ";
        text += items[i];
    }
    return text;
}

std::string ProcessText(const PortProcess &process)
{
    return std::to_string(process.pid) + (process.name.empty() ? "" : " (" + process.name + ")");
}

std::string Ownership(const PortFacts &facts)
{
    return "owner " + facts.owner + ", group " + facts.group + ", mode " + ModeText(facts.kind, facts.mode);
}

bool Includes(const std::vector<PortProcess> &processes, const std::string &name)
{
    for (const PortProcess &process : processes)
        if (process.name == name)
            return true;
    return false;
}

// "kill ", or "sudo kill " when one of the processes is another user's.
std::string Kill(const PortFacts &facts, const std::vector<PortProcess> &processes)
{
    const bool others = std::any_of(processes.begin(), processes.end(),
                                    [](const PortProcess &process) { return process.othersProcess; });
    return others && !facts.userIsRoot ? "sudo kill " : "kill ";
}

// What to do about the services that take serial adapters for their own.
std::string ManagerFix(const std::string &name)
{
    if (name == "ModemManager")
        return "ModemManager probes new serial adapters as modems; stop it: sudo systemctl stop ModemManager "
               "(for good: sudo systemctl disable --now ModemManager).";
    return "brltty, a braille display service, claims USB serial adapters; without a braille display remove it: "
           "sudo apt remove brltty.";
}

PortDiagnosis Missing(const PortFacts &facts)
{
    PortDiagnosis d { Problem::Missing, {} };
    if (facts.target.empty())
        d.lines.push_back(facts.device + " does not exist: wrong port, or the adapter is unplugged.");
    else
        d.lines.push_back(facts.device + " is a link to " + facts.target
                          + ", which does not exist: wrong port, or the adapter is unplugged.");
    if (facts.listedPorts.empty())
        d.lines.emplace_back("The system lists no serial ports.");
    else
        d.lines.push_back("The system lists these serial ports: " + Joined(facts.listedPorts, ", ") + ".");
    if (!facts.byId.empty()) {
        std::string names;
        for (const auto &[name, device] : facts.byId)
            names.append(names.empty() ? "" : ", ").append(name).append(" (").append(device).append(")");
        d.lines.push_back("By id: " + names + ".");
    }
    d.lines.emplace_back(
        "Fix: name an existing port with --port DEVICE (or CAMCONSOLE_PORT1), or plug the adapter in.");
    return d;
}

PortDiagnosis NotSerial(const PortFacts &facts)
{
    return { Problem::NotSerial,
             { Named(facts) + " is " + KindText(facts.kind) + ", not a serial port.",
               "Fix: name the serial device with --port DEVICE (camconsole --list-ports lists them)." } };
}

PortDiagnosis Permission(const PortFacts &facts)
{
    const std::string cause = Named(facts) + ": permission denied: " + Ownership(facts);
    const bool groupMay = (facts.mode & 060U) == 060U;
    if (groupMay && !facts.sessionHasGroup && facts.userInGroup)
        return { Problem::Permission,
                 { cause + "; user " + facts.user + " is in group " + facts.group
                       + ", but this login session started before that.",
                   "Fix: log out and in again (or, for one shell, newgrp " + facts.group + ")." } };
    if (groupMay && !facts.sessionHasGroup)
        return { Problem::Permission,
                 { cause + "; user " + facts.user + " is not in group " + facts.group + ".",
                   "Fix: sudo usermod -aG " + facts.group + " $USER, then log out and in again." } };
    if (!groupMay && !facts.userIsOwner)
        return { Problem::Permission,
                 { cause + "; only its owner may read and write it.",
                   "Fix: give it a group that may read and write it (sudo chgrp dialout " + facts.device
                       + "; sudo chmod 0660 " + facts.device + "; a udev rule makes it last), and join that group." } };
    return { Problem::Permission,
             { cause + ", which should let user " + facts.user + " in: an access list or security policy refuses it.",
               "Fix: ask the administrator (getfacl " + facts.device + " shows its access list)." } };
}

PortDiagnosis Busy(const PortFacts &facts)
{
    PortDiagnosis d { Problem::Busy, {} };
    std::string fix;
    if (!facts.holders.empty()) {
        std::vector<std::string> holders;
        std::vector<std::string> pids;
        for (const PortProcess &holder : facts.holders) {
            holders.push_back(ProcessText(holder));
            pids.push_back(std::to_string(holder.pid));
        }
        const bool one = holders.size() == 1;
        d.lines.push_back(Named(facts) + " is in use by process" + (one ? " " : "es ") + Joined(holders, " and ")
                          + ".");
        fix = one ? "close that program, or end it: " : "close those programs, or end them: ";
        fix += Kill(facts, facts.holders) + Joined(pids, " ") + ".";
        for (const char *manager : { "ModemManager", "brltty" })
            if (Includes(facts.holders, manager))
                fix = ManagerFix(manager);
    } else if (facts.lockFile && facts.lockFile->process) {
        const PortProcess &process = *facts.lockFile->process;
        d.lines.push_back(Named(facts) + " is locked by process " + ProcessText(process) + " through its lock file "
                          + facts.lockFile->path + ".");
        fix = "close that program, or end it: " + Kill(facts, { process }) + std::to_string(process.pid) + ".";
    } else {
        d.lines.push_back(Named(facts) + " is in use by another program, which this user may not see (sudo fuser -v "
                          + facts.device + " names it).");
        fix = "close the program that has it (another camconsole, a terminal program).";
        if (!facts.managers.empty())
            fix = facts.managers.front().name + " is running: " + ManagerFix(facts.managers.front().name);
    }
    d.lines.push_back("Fix: " + fix);
    return d;
}

PortDiagnosis StaleLock(const PortFacts &facts)
{
    const PortFacts::LockFile &lock = *facts.lockFile;
    const std::string owner
        = lock.pid > 0 ? "names process " + std::to_string(lock.pid) + ", which is gone" : "names no process";
    const std::string sudo = lock.ownedByUser || facts.userIsRoot ? "" : "sudo ";
    return { Problem::StaleLock,
             { Named(facts) + " has a stale lock file: " + lock.path + " " + owner + ".",
               "Fix: remove it: " + sudo + "rm " + lock.path } };
}

PortDiagnosis Examine(const PortFacts &facts)
{
    if (facts.kind == Kind::Missing)
        return Missing(facts);
    if (facts.kind != Kind::CharacterDevice)
        return NotSerial(facts);
    const int openError = facts.openError.value_or(0);
    if (openError == EACCES || openError == EPERM)
        return Permission(facts);
    if (facts.openError == 0 && !facts.terminal)
        return NotSerial(facts);
    // ModemManager and brltty write to a port they have open, lock or no lock.
    if (openError == EBUSY || facts.lockedByOther || (facts.lockFile && facts.lockFile->process)
        || Includes(facts.holders, "ModemManager") || Includes(facts.holders, "brltty"))
        return Busy(facts);
    if (facts.lockFile)
        return StaleLock(facts);
    if (openError != 0)
        return { Problem::CannotOpen,
                 { Named(facts) + " can not be opened: " + std::strerror(openError) + ".",
                   "Fix: nothing answers there; name another port with --port DEVICE (camconsole --list-ports lists "
                   "them)." } };
    PortDiagnosis usable { Problem::None,
                           { Named(facts) + " is a serial port this user can open: " + Ownership(facts) + "." } };
    // Others may have it open without a lock: the console can open it, but
    // they may take bytes meant for it.
    for (const PortProcess &holder : facts.holders)
        usable.lines.push_back("It is also open in process " + ProcessText(holder)
                               + ", which may take bytes meant for the console.");
    return usable;
}

std::string UsbText(const PortFacts::Usb &usb)
{
    std::string text = "USB adapter " + usb.vendorId + ":" + usb.productId;
    const std::string name
        = usb.manufacturer + (usb.manufacturer.empty() || usb.product.empty() ? "" : " ") + usb.product;
    if (!name.empty())
        text += " (" + name + ")";
    if (!usb.serialNumber.empty())
        text += ", serial number " + usb.serialNumber;
    if (!usb.driver.empty())
        text += ", driver " + usb.driver;
    return text + ".";
}

} // namespace

std::string ModeText(PortFacts::Kind kind, unsigned mode)
{
    std::string text(10, '-');
    text[0] = kind == Kind::CharacterDevice ? 'c'
        : kind == Kind::Directory           ? 'd'
        : kind == Kind::BlockDevice         ? 'b'
        : kind == Kind::Pipe                ? 'p'
        : kind == Kind::Socket              ? 's'
                                            : '-';
    const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        if (mode & (0400U >> bit))
            text[static_cast<std::size_t>(bit) + 1] = letters[bit];
    return text;
}

std::string PortDiagnosis::text() const
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

PortDiagnosis Diagnose(const PortFacts &facts)
{
    PortDiagnosis diagnosis = Examine(facts);
    if (facts.usb && facts.kind != Kind::Missing)
        diagnosis.lines.push_back(UsbText(*facts.usb));
    return diagnosis;
}
