// The port doctor's diagnosis of made-up facts: each cause with its fix.
#include "link/port_doctor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

namespace {

// A USB adapter at /dev/ttyUSB0 of root:dialout 0660 that user alice opened.
PortFacts Adapter()
{
    PortFacts facts;
    facts.device = "/dev/ttyUSB0";
    facts.kind = PortFacts::Kind::CharacterDevice;
    facts.openError = 0;
    facts.terminal = true;
    facts.owner = "root";
    facts.group = "dialout";
    facts.mode = 0660;
    facts.user = "alice";
    facts.userInGroup = true;
    facts.sessionHasGroup = true;
    facts.usb = PortFacts::Usb { "0403", "6001", "FTDI", "FT232R USB UART", "A10K1234", "ftdi_sio" };
    return facts;
}

const std::string kUsb = "USB adapter 0403:6001 (FTDI FT232R USB UART), serial number A10K1234, driver ftdi_sio.\n";
const std::string kOwnership = "owner root, group dialout, mode crw-rw----";

TEST(PortDoctorTest, EachCauseWithItsFix)
{
    using Problem = PortDiagnosis::Problem;
    using Kind = PortFacts::Kind;
    const PortProcess minicom { 4242, "minicom" };
    struct Case {
        const char *name;
        std::function<void(PortFacts &)> change;
        Problem problem;
        std::string text;
    };
    const Case cases[] = {
        { "usable", [](PortFacts &) {}, Problem::None,
          "/dev/ttyUSB0 is a serial port this user can open: " + kOwnership + ".\n" + kUsb },
        { "open elsewhere without a lock", [&](PortFacts &f) { f.holders = { minicom }; }, Problem::None,
          "/dev/ttyUSB0 is a serial port this user can open: " + kOwnership
              + ".\nIt is also open in process 4242 (minicom), which may take bytes meant for the console.\n" + kUsb },
        { "missing",
          [](PortFacts &f) {
              f = {};
              f.device = "/dev/ttyUSB0";
              f.listedPorts = { "/dev/ttyS0", "/dev/ttyUSB1" };
              f.byId = { { "/dev/serial/by-id/usb-FTDI_A10K-if00-port0", "/dev/ttyUSB1" } };
          },
          Problem::Missing,
          "/dev/ttyUSB0 does not exist: wrong port, or the adapter is unplugged.\n"
          "The system lists these serial ports: /dev/ttyS0, /dev/ttyUSB1.\n"
          "By id: /dev/serial/by-id/usb-FTDI_A10K-if00-port0 (/dev/ttyUSB1).\n"
          "Fix: name an existing port with --port DEVICE (or CAMCONSOLE_PORT1), or plug the adapter in.\n" },
        { "a link to nothing",
          [](PortFacts &f) {
              f = {};
              f.device = "/tmp/camport";
              f.target = "/dev/pts/7";
          },
          Problem::Missing,
          "/tmp/camport is a link to /dev/pts/7, which does not exist: wrong port, or the adapter is unplugged.\n"
          "The system lists no serial ports.\n"
          "Fix: name an existing port with --port DEVICE (or CAMCONSOLE_PORT1), or plug the adapter in.\n" },
        { "a regular file",
          [](PortFacts &f) {
              f.device = "/tmp/port";
              f.kind = Kind::RegularFile;
              f.usb.reset();
          },
          Problem::NotSerial,
          "/tmp/port is a regular file, not a serial port.\n"
          "Fix: name the serial device with --port DEVICE (camconsole --list-ports lists them).\n" },
        { "not a terminal",
          [](PortFacts &f) {
              f.device = "/dev/null";
              f.terminal = false;
              f.usb.reset();
          },
          Problem::NotSerial,
          "/dev/null is a character device but not a terminal, not a serial port.\n"
          "Fix: name the serial device with --port DEVICE (camconsole --list-ports lists them).\n" },
        { "not in the group",
          [](PortFacts &f) {
              f.openError = EACCES;
              f.userInGroup = f.sessionHasGroup = false;
          },
          Problem::Permission,
          "/dev/ttyUSB0: permission denied: " + kOwnership + "; user alice is not in group dialout.\n"
              + "Fix: sudo usermod -aG dialout $USER, then log out and in again.\n" + kUsb },
        { "in the group, not yet in this session",
          [](PortFacts &f) {
              f.openError = EACCES;
              f.sessionHasGroup = false;
          },
          Problem::Permission,
          "/dev/ttyUSB0: permission denied: " + kOwnership
              + "; user alice is in group dialout, but this login session started before that.\n"
              + "Fix: log out and in again (or, for one shell, newgrp dialout).\n" + kUsb },
        { "for its owner only",
          [](PortFacts &f) {
              f.openError = EACCES;
              f.mode = 0600;
          },
          Problem::Permission,
          "/dev/ttyUSB0: permission denied: owner root, group dialout, mode crw-------; only its owner may read "
          "and write it.\nFix: give it a group that may read and write it (sudo chgrp dialout /dev/ttyUSB0; sudo "
          "chmod 0660 /dev/ttyUSB0; a udev rule makes it last), and join that group.\n"
              + kUsb },
        { "held with its lock",
          [&](PortFacts &f) {
              f.lockedByOther = true;
              f.holders = { minicom };
          },
          Problem::Busy,
          "/dev/ttyUSB0 is in use by process 4242 (minicom).\nFix: close that program, or end it: kill 4242.\n"
              + kUsb },
        { "held by ModemManager, without a lock",
          [](PortFacts &f) {
              f.holders = { { 800, "ModemManager" } };
              f.holders.push_back({ 4242, "cat" });
          },
          Problem::Busy,
          "/dev/ttyUSB0 is in use by processes 800 (ModemManager) and 4242 (cat).\nFix: ModemManager probes new "
          "serial adapters as modems; stop it: sudo systemctl stop ModemManager (for good: sudo systemctl "
          "disable --now ModemManager).\n"
              + kUsb },
        { "held out of sight, brltty running",
          [](PortFacts &f) {
              f.openError = EBUSY;
              f.managers = { { 900, "brltty" } };
          },
          Problem::Busy,
          "/dev/ttyUSB0 is in use by another program, which this user may not see (sudo fuser -v /dev/ttyUSB0 "
          "names it).\nFix: brltty is running: brltty, a braille display service, claims USB serial adapters; "
          "without a braille display remove it: sudo apt remove brltty.\n"
              + kUsb },
        { "locked by another user's program's lock file",
          [&](PortFacts &f) {
              f.lockFile = PortFacts::LockFile { "/var/lock/LCK..ttyUSB0", 4242, minicom, false };
              f.lockFile->process->othersProcess = true;
          },
          Problem::Busy,
          "/dev/ttyUSB0 is locked by process 4242 (minicom) through its lock file /var/lock/LCK..ttyUSB0.\n"
          "Fix: close that program, or end it: sudo kill 4242.\n"
              + kUsb },
        { "a stale lock file of another user",
          [](PortFacts &f) {
              f.lockFile = PortFacts::LockFile { "/var/lock/LCK..ttyUSB0", 4321, {}, false };
              f.lockFile->process.reset();
          },
          Problem::StaleLock,
          "/dev/ttyUSB0 has a stale lock file: /var/lock/LCK..ttyUSB0 names process 4321, which is gone.\n"
          "Fix: remove it: sudo rm /var/lock/LCK..ttyUSB0\n"
              + kUsb },
        { "nothing answers",
          [](PortFacts &f) {
              f.device = "/dev/ttyS3";
              f.openError = EIO;
              f.usb.reset();
          },
          Problem::CannotOpen,
          "/dev/ttyS3 can not be opened: Input/output error.\nFix: nothing answers there; name another port with "
          "--port DEVICE (camconsole --list-ports lists them).\n" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PortFacts facts = Adapter();
        c.change(facts);
        const PortDiagnosis diagnosis = Diagnose(facts);
        EXPECT_EQ(diagnosis.problem, c.problem);
        EXPECT_EQ(diagnosis.usable(), c.problem == Problem::None);
        EXPECT_EQ(diagnosis.text(), c.text);
    }
}

} // namespace
