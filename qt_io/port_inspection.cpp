#include "port_inspection.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Kind = PortFacts::Kind;

// The entries of a folder; none when it can not be read. Nothing here throws:
// /proc changes while it is read (a process ends), and what this user may
// not read is simply not seen.
std::vector<fs::path> Entries(const fs::path &folder)
{
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    return entries;
}

bool Exists(const fs::path &path)
{
    std::error_code error;
    return fs::exists(path, error);
}

// The first line of a (small) file, without surrounding white space.
std::string FirstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    line.erase(line.begin(), std::find_if_not(line.begin(), line.end(), space));
    line.erase(std::find_if_not(line.rbegin(), line.rend(), space).base(), line.end());
    return line;
}

std::optional<std::string> LinkTarget(const std::string &path)
{
    std::error_code error;
    const fs::path target = fs::read_symlink(path, error);
    if (error)
        return std::nullopt;
    return target.is_absolute() ? target.string() : (fs::path(path).parent_path() / target).lexically_normal().string();
}

std::string RealPath(const std::string &path)
{
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    return error ? path : real.string();
}

// The records of a colon-separated file such as /etc/passwd and /etc/group.
std::vector<std::vector<std::string>> Records(const std::string &path)
{
    std::vector<std::vector<std::string>> records;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, ':');)
            fields.push_back(field);
        if (line.ends_with(':'))
            fields.emplace_back();
        records.push_back(std::move(fields));
    }
    return records;
}

// The name of a user or group number in its file (name at field 0, number at
// field 2), or the number itself.
std::string NameOf(const std::vector<std::vector<std::string>> &records, unsigned id)
{
    for (const auto &fields : records)
        if (fields.size() > 2 && fields[2] == std::to_string(id))
            return fields[0];
    return std::to_string(id);
}

bool Listed(const std::string &members, const std::string &user)
{
    std::stringstream split(members);
    for (std::string member; std::getline(split, member, ',');)
        if (member == user)
            return true;
    return false;
}

Kind KindOf(mode_t mode)
{
    if (S_ISCHR(mode))
        return Kind::CharacterDevice;
    if (S_ISREG(mode))
        return Kind::RegularFile;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISBLK(mode))
        return Kind::BlockDevice;
    if (S_ISFIFO(mode))
        return Kind::Pipe;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    return Kind::Other;
}

void ReadAccess(PortFacts &facts, const struct stat &info, const SystemRoots &roots)
{
    const auto users = Records(roots.etc + "/passwd");
    const auto groups = Records(roots.etc + "/group");
    const uid_t uid = ::geteuid();
    facts.owner = NameOf(users, info.st_uid);
    facts.group = NameOf(groups, info.st_gid);
    facts.mode = info.st_mode & 07777U;
    facts.user = NameOf(users, uid);
    facts.userIsRoot = uid == 0;
    facts.userIsOwner = uid == info.st_uid;
    for (const auto &fields : users)
        if (fields.size() > 3 && fields[2] == std::to_string(uid) && fields[3] == std::to_string(info.st_gid))
            facts.userInGroup = true; // the user's primary group
    for (const auto &fields : groups)
        if (fields.size() > 3 && fields[2] == std::to_string(info.st_gid) && Listed(fields[3], facts.user))
            facts.userInGroup = true;
    std::vector<gid_t> session(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    session.resize(
        static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(session.size()), session.data()), 0)));
    facts.sessionHasGroup
        = ::getegid() == info.st_gid || std::find(session.begin(), session.end(), info.st_gid) != session.end();
}

PortProcess ProcessOf(int pid, const SystemRoots &roots)
{
    const std::string folder = roots.proc + "/" + std::to_string(pid);
    struct stat info {};
    const bool others = ::stat(folder.c_str(), &info) == 0 && info.st_uid != ::geteuid();
    return { pid, FirstLine(folder + "/comm"), others };
}

// Opens the device as the console would, without waiting for a modem line,
// and sees whether it is a terminal and whether another holds its lock.
void Probe(PortFacts &facts, const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        facts.openError = errno;
        return;
    }
    facts.openError = 0;
    facts.terminal = ::isatty(fd) != 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        facts.lockedByOther = errno == EWOULDBLOCK;
    ::close(fd);
}

// The processes other than this one that have path open (with or without its
// lock or exclusive mode), and the services that take serial adapters.
void ReadProcesses(PortFacts &facts, const std::string &path, const SystemRoots &roots)
{
    for (const fs::path &entry : Entries(roots.proc)) {
        const std::string pidText = entry.filename().string();
        if (pidText.empty() || !std::all_of(pidText.begin(), pidText.end(), ::isdigit))
            continue;
        const PortProcess process = ProcessOf(std::atoi(pidText.c_str()), roots);
        if (process.name == "ModemManager" || process.name == "brltty")
            facts.managers.push_back(process);
        if (process.pid == ::getpid())
            continue;
        // The program at a pseudo-terminal's other end (it holds the master,
        // /dev/ptmx) is the device itself, not a rival, even when it keeps
        // the terminal's side open too.
        bool holds = false;
        bool master = false;
        for (const fs::path &fd : Entries(entry / "fd")) {
            const std::optional<std::string> target = LinkTarget(fd.string());
            holds = holds || target == path;
            master = master || target == "/dev/ptmx" || target == "/dev/pts/ptmx";
        }
        if (holds && !(master && path.starts_with("/dev/pts/")))
            facts.holders.push_back(process);
    }
    // The holder of the device's flock, which /proc/locks shows even where
    // its descriptors are another user's to see ("1: FLOCK ADVISORY WRITE
    // 812 00:05:87 0 EOF": the pid, then the file's device in hex and inode).
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        char file[64];
        std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                      static_cast<unsigned long>(info.st_ino));
        std::ifstream locks(roots.proc + "/locks");
        for (std::string line; std::getline(locks, line);) {
            std::istringstream fields(line);
            std::string id, type, mode, access, where;
            int pid = 0;
            fields >> id >> type >> mode >> access >> pid >> where;
            const bool known = std::any_of(facts.holders.begin(), facts.holders.end(),
                                           [pid](const PortProcess &holder) { return holder.pid == pid; });
            if (type == "FLOCK" && where == file && pid != ::getpid() && !known)
                facts.holders.push_back(ProcessOf(pid, roots));
        }
    }
    const auto byPid = [](const PortProcess &a, const PortProcess &b) { return a.pid < b.pid; };
    std::sort(facts.holders.begin(), facts.holders.end(), byPid);
    std::sort(facts.managers.begin(), facts.managers.end(), byPid);
}

// The name of a UUCP lock file for a device path: LCK.. and the path less
// /dev/, each / made _ (Qt's serial port names it so, after the name it was
// given: "LCK..pts_3", "LCK.._tmp_camport").
std::string LockName(const std::string &path)
{
    std::string name = path.starts_with("/dev/") ? path.substr(5) : path;
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

// A UUCP lock file, as serial programs (Qt's serial port among them) leave
// while they have the port: named after the device, its name as given, or
// its file name (LCK..ttyUSB0, as minicom names it).
void ReadLockFile(PortFacts &facts, const std::string &path, const SystemRoots &roots)
{
    std::string lockPath;
    struct stat info {};
    for (const std::string &name :
         { LockName(path), LockName(facts.device), "LCK.." + fs::path(path).filename().string() }) {
        lockPath = roots.lock + "/" + name;
        if (::lstat(lockPath.c_str(), &info) == 0)
            break;
        lockPath.clear();
    }
    if (lockPath.empty())
        return;
    PortFacts::LockFile lock;
    lock.path = lockPath;
    lock.pid = std::atoi(FirstLine(lockPath).c_str());
    lock.ownedByUser = info.st_uid == ::geteuid();
    const std::string processDir = roots.proc + "/" + std::to_string(lock.pid);
    if (lock.pid > 0 && ::access(processDir.c_str(), F_OK) == 0)
        lock.process = ProcessOf(lock.pid, roots);
    facts.lockFile = lock;
}

// The USB device above the tty in sysfs, and the driver of the tty's device.
void ReadUsb(PortFacts &facts, const std::string &path, const SystemRoots &roots)
{
    const std::string device = roots.sys + "/class/tty/" + fs::path(path).filename().string() + "/device";
    std::error_code error;
    fs::path dir = fs::canonical(device, error);
    if (error)
        return;
    const std::optional<std::string> driver = LinkTarget((dir / "driver").string());
    const fs::path top = fs::canonical(roots.sys, error);
    for (; !error && dir.has_relative_path() && dir != top; dir = dir.parent_path()) {
        if (!Exists(dir / "idVendor"))
            continue;
        PortFacts::Usb usb;
        usb.vendorId = FirstLine((dir / "idVendor").string());
        usb.productId = FirstLine((dir / "idProduct").string());
        usb.manufacturer = FirstLine((dir / "manufacturer").string());
        usb.product = FirstLine((dir / "product").string());
        usb.serialNumber = FirstLine((dir / "serial").string());
        usb.driver = driver ? fs::path(*driver).filename().string() : std::string();
        facts.usb = usb;
        return;
    }
}

// What exists: the ttys sysfs gives a device (leaving out the standard serial
// ports no UART answers at, of type 0), and the names under serial/by-id.
void ReadExisting(PortFacts &facts, const SystemRoots &roots)
{
    for (const fs::path &entry : Entries(roots.sys + "/class/tty")) {
        const std::string dir = entry.string();
        if (!Exists(dir + "/device") || (Exists(dir + "/type") && FirstLine(dir + "/type") == "0"))
            continue;
        facts.listedPorts.push_back("/dev/" + entry.filename().string());
    }
    std::sort(facts.listedPorts.begin(), facts.listedPorts.end());
    for (const fs::path &entry : Entries(roots.dev + "/serial/by-id"))
        facts.byId.emplace_back(entry.string(), RealPath(entry.string()));
    std::sort(facts.byId.begin(), facts.byId.end());
}

} // namespace

PortFacts InspectPort(const std::string &device, const SystemRoots &roots, PortProbe probe)
{
    PortFacts facts;
    facts.device = device;
    struct stat info {};
    if (::lstat(device.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        facts.target = ::stat(device.c_str(), &info) == 0 ? RealPath(device) : LinkTarget(device).value_or("");
    if (::stat(device.c_str(), &info) != 0) {
        ReadExisting(facts, roots);
        return facts;
    }
    facts.kind = KindOf(info.st_mode);
    ReadAccess(facts, info, roots);
    if (facts.kind != Kind::CharacterDevice)
        return facts;
    const std::string path = facts.target.empty() ? RealPath(device) : facts.target;
    if (probe == PortProbe::Open)
        Probe(facts, path);
    else if (::access(path.c_str(), R_OK | W_OK) != 0)
        facts.openError = errno;
    ReadProcesses(facts, path, roots);
    ReadLockFile(facts, path, roots);
    ReadUsb(facts, path, roots);
    return facts;
}

std::optional<PortFacts::Usb> UsbAdapterOf(const std::string &device, const SystemRoots &roots)
{
    PortFacts facts;
    ReadUsb(facts, RealPath(device), roots);
    return facts.usb;
}

bool RemoveStaleLock(const PortFacts &facts)
{
    if (!facts.lockFile || facts.lockFile->process || facts.lockFile->pid <= 0 || !facts.lockFile->ownedByUser)
        return false;
    return ::unlink(facts.lockFile->path.c_str()) == 0;
}

std::vector<std::string> SystemPortAdvisor::adviceFor(const std::string &device)
{
    // The diagnosis adds to an error report; it never replaces it.
    try {
        PortDiagnosis diagnosis = Diagnose(InspectPort(device));
        return diagnosis.usable() ? std::vector<std::string>() : std::move(diagnosis.lines);
    } catch (const std::exception &) {
        return {};
    }
}
