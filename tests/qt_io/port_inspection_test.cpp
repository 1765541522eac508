// The port doctor's reading of the system, on pseudo-terminals and made-up
// /sys, /proc, /etc and lock trees; --check-port as an unprivileged user.
#include "cli/port_listing.h"
#include "qt_io/port_inspection.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "support/wait_until.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// Runs a program to its end and returns its exit status; its standard
// output goes to outPath.
int RunToEnd(ChildStart start, const std::string &outPath)
{
    start.stdoutPath = outPath;
    pid_t pid = -1;
    if (StartChild(start, pid) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Read(const std::string &path)
{
    std::ifstream in(path);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

TEST(PortInspectionTest, MadeUpSystemTrees)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const fs::path root = dir.path().toStdString();
    PtyPair pty;
    const std::string device = pty.devicePath(); // /dev/pts/N
    const std::string name = fs::path(device).filename().string();
    ASSERT_EQ(::chown(device.c_str(), ::geteuid(), 4242), 0);
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);

    SystemRoots roots { root / "sys", root / "proc", root / "etc", root / "lock", root / "dev" };
    const uid_t uid = ::geteuid();
    Write(root / "etc/passwd", "camuser:x:" + std::to_string(uid) + ":100::/home/camuser:/bin/sh\n");
    Write(root / "etc/group", "users:x:100:\ncamgroup:x:4242:someone,camuser\n");
    // A USB serial adapter: the tty's device (driven by ftdi_sio) below the
    // USB interface, below the USB device with its ids.
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-1";
    Write(usb / "idVendor", "0403\n");
    Write(usb / "idProduct", "6001\n");
    Write(usb / "manufacturer", "FTDI\n");
    Write(usb / "product", "FT232R USB UART\n");
    Write(usb / "serial", "A10K1234\n");
    const fs::path port = usb / "1-1:1.0/ttyUSB0";
    fs::create_directories(port);
    fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
    fs::create_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", port / "driver");
    fs::create_directories(root / "sys/class/tty" / name);
    fs::create_symlink(port, root / "sys/class/tty" / name / "device");
    // ModemManager runs; process 801, whose descriptors this user may not
    // see, holds the terminal's flock; a lock file of this user names a
    // process that is gone.
    Write(root / "proc/800/comm", "ModemManager\n");
    Write(root / "proc/801/comm", "camconsole\n");
    struct stat info {};
    ASSERT_EQ(::stat(device.c_str(), &info), 0);
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev), info.st_ino);
    Write(root / "proc/locks", "1: FLOCK  ADVISORY  WRITE 801 " + std::string(file) + " 0 EOF\n");
    const fs::path lock = root / ("lock/LCK..pts_" + name);
    Write(lock, "      4321\n");

    // The facts the usable port's text below does not show.
    const PortFacts facts = InspectPort(device, roots);
    EXPECT_TRUE(facts.userInGroup);
    // What names a unit on a production line.
    const std::optional<PortFacts::Usb> adapter = UsbAdapterOf(device, roots);
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->vendorId + ":" + adapter->productId + " " + adapter->serialNumber, "0403:6001 A10K1234");
    EXPECT_FALSE(UsbAdapterOf(device)) << "a pty is no USB adapter";
    EXPECT_EQ(facts.managers, (std::vector<PortProcess> { { 800, "ModemManager" } }));

    // --check-port removes the stale lock file, which this user owns; this
    // process's own descriptors of the terminal are no rivals.
    const PortCheck check = CheckPort(device, roots);
    EXPECT_EQ(check.text,
              "Removed the stale lock file " + lock.string() + " (its process 4321 is gone).\n" + device
                  + " is a serial port this user can open: owner camuser, group camgroup, mode crw-rw----.\n"
                    "It is also open in process 801 (camconsole), which may take bytes meant for the console.\n"
                    "USB adapter 0403:6001 (FTDI FT232R USB UART), serial number A10K1234, driver ftdi_sio.\n");
    EXPECT_TRUE(check.usable);
    EXPECT_FALSE(fs::exists(lock));

    // A missing device: what exists instead.
    Write(root / "sys/class/tty/ttyS0/type", "0\n"); // no UART answers there
    fs::create_directories(root / "sys/class/tty/ttyS0/device");
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink(device, root / "dev/serial/by-id/usb-FTDI_A10K1234-if00-port0");
    const PortFacts missing = InspectPort((root / "ttyUSB9").string(), roots);
    EXPECT_EQ(missing.listedPorts, std::vector<std::string> { "/dev/" + name });
    EXPECT_EQ(missing.byId.size(), 1U);

    EXPECT_EQ(InspectPort((root / "etc/group").string(), roots).kind, PortFacts::Kind::RegularFile);
}

TEST(PortInspectionTest, TheHolderOfTheLockIsNamed)
{
    PtyPair pty;
    // The holder must not inherit the pseudo-terminal's master: whoever holds
    // that is the other end, not a rival.
    for (int fd = 3; fd < 256; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ChildStart start;
    start.program = "/usr/bin/flock"; // holds the lock while its command runs
    start.args = { pty.devicePath(), "sleep", "60" };
    start.stdoutPath = start.stderrPath = "/dev/null";
    pid_t holder = -1;
    ASSERT_EQ(StartChild(start, holder), 0);
    EXPECT_TRUE(WaitUntil([&] { return InspectPort(pty.devicePath()).lockedByOther; }));
    const PortFacts facts = InspectPort(pty.devicePath());
    for (const PortProcess &process : facts.holders) // flock and the sleep it started
        ::kill(process.pid, SIGTERM);
    ::kill(holder, SIGTERM);
    ::waitpid(holder, nullptr, 0);
    ASSERT_FALSE(facts.holders.empty());
    EXPECT_EQ(facts.holders.front(), (PortProcess { holder, "flock" }));
    const std::string text = Diagnose(facts).text();
    EXPECT_TRUE(text.starts_with(pty.devicePath() + " is in use by process")) << text;
    EXPECT_NE(text.find(std::to_string(holder) + " (flock)"), std::string::npos) << text;
}

// The real program, run as user nobody on a terminal of a group nobody is
// not in.
TEST(PortInspectionTest, CheckPortAsAUserWithoutTheGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the check as another user";
    for (fs::path folder = fs::path(CAMCONSOLE_EXECUTABLE).parent_path(); folder != folder.root_path();
         folder = folder.parent_path()) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0)
            GTEST_SKIP() << "user nobody may not enter " << folder;
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    PtyPair pty;
    ASSERT_EQ(::chown(pty.devicePath().c_str(), 0, 4243), 0);
    ASSERT_EQ(::chmod(pty.devicePath().c_str(), 0660), 0);
    const std::string out = dir.filePath("out").toStdString();

    ChildStart start;
    start.program = CAMCONSOLE_EXECUTABLE;
    start.args = { "--check-port", pty.devicePath() };
    EXPECT_EQ(RunToEnd(start, out), 0) << Read(out);
    EXPECT_TRUE(Read(out).starts_with(pty.devicePath() + " is a serial port this user can open")) << Read(out);

    start.program = "/usr/bin/setpriv";
    start.args = { "--reuid=65534",       "--regid=65534", "--clear-groups",
                   CAMCONSOLE_EXECUTABLE, "--check-port",  pty.devicePath() };
    EXPECT_EQ(RunToEnd(start, out), 3);
    const std::string text = Read(out);
    EXPECT_TRUE(text.starts_with(pty.devicePath()
                                 + ": permission denied: owner root, group 4243, mode crw-rw----; "
                                   "user "))
        << text;
    EXPECT_NE(text.find(" is not in group 4243.\nFix: sudo usermod -aG 4243 $USER, then log out and in again.\n"),
              std::string::npos)
        << text;
}

} // namespace
