#include "qt_io/qt_serial_link.h"

#include "support/pty_pair.h"
#include "support/qt_app.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <unistd.h>

namespace {

class QtSerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureQtApp();
        setenv("CAMCONSOLE_PORT1", camera.devicePath().c_str(), 1);
        link.setPortNumber(1);
        link.setReceiveBufferSize(32764);
    }
    void TearDown() override { unsetenv("CAMCONSOLE_PORT1"); }

    PtyPair camera;
    QtSerialLink link;
};

TEST_F(QtSerialLinkTest, ReadsWhatArrivedWhileTheThreadSlept)
{
    link.setPortOpen(true);
    EXPECT_EQ(link.input(), "");
    EXPECT_EQ(link.inBufferCount(), 0);

    // The bytes wait in the device while no event loop runs and nothing
    // touches the link.
    camera.send(std::string("AC\0K", 4));
    ASSERT_TRUE(WaitUntil([&] { return camera.unreadByDevice() == 4; }));
    EXPECT_EQ(link.inBufferCount(), 4);
    camera.send("\xAA\xFF");
    ASSERT_TRUE(WaitUntil([&] { return camera.unreadByDevice() == 2; }));
    EXPECT_EQ(link.input(), std::string("AC\0K\xAA\xFF", 6));
    camera.send("next");
    ASSERT_TRUE(WaitUntil([&] { return camera.unreadByDevice() == 4; }));
    EXPECT_EQ(link.input(), "next") << "consecutive reads: nothing lost, nothing repeated";
    EXPECT_EQ(link.inBufferCount(), 0);
}

TEST_F(QtSerialLinkTest, WritesEveryByteAtOnce)
{
    link.setPortOpen(true);
    link.setOutput(std::string("DF\r\0\xAA", 5));
    EXPECT_EQ(camera.receive(5), std::string("DF\r\0\xAA", 5));
}

TEST_F(QtSerialLinkTest, OpensThroughASymlinkAndDropsStaleInput)
{
    const auto link_path = std::filesystem::temp_directory_path() / ("camconsole-link-" + std::to_string(getpid()));
    std::filesystem::remove(link_path);
    std::filesystem::create_symlink(camera.devicePath(), link_path);
    setenv("CAMCONSOLE_PORT1", link_path.c_str(), 1);

    camera.send("stale");
    ASSERT_TRUE(WaitUntil([&] { return camera.unreadByDevice() == 5; }));
    link.setPortOpen(true);
    EXPECT_EQ(link.input(), "");
    camera.send("ACK");
    ASSERT_TRUE(WaitUntil([&] { return camera.unreadByDevice() == 3; }));
    EXPECT_EQ(link.input(), "ACK");
    link.setPortOpen(false);
    std::filesystem::remove(link_path);
}

TEST_F(QtSerialLinkTest, SettingsOnlyWhileClosedAndOpenOnlyOnce)
{
    link.setPortOpen(true);
    EXPECT_THROW(link.setPortNumber(1), LinkError);
    EXPECT_THROW(link.setReceiveBufferSize(100), LinkError);
    EXPECT_THROW(link.setPortOpen(true), LinkError);
    link.setPortOpen(false);
    link.setPortOpen(false); // closing a closed port is not an error
    EXPECT_FALSE(link.portOpen());
    EXPECT_THROW(link.input(), LinkError);
    link.setPortOpen(true); // and it opens again
    EXPECT_TRUE(link.portOpen());
}

TEST_F(QtSerialLinkTest, MissingDeviceRaisesWithTheDeviceAndTheComponentsText)
{
    setenv("CAMCONSOLE_PORT1", "/nonexistent/camconsole-port", 1);
    try {
        link.setPortOpen(true);
        FAIL() << "opening a missing device must raise";
    } catch (const LinkError &error) {
        EXPECT_EQ(error.cause(), LinkError::Cause::NoSuchDevice);
        EXPECT_EQ(std::string(error.what()), "/nonexistent/camconsole-port: No such file or directory");
    }
    EXPECT_FALSE(link.portOpen());
}

TEST_F(QtSerialLinkTest, OneOwnerPerDeviceWhicheverNameItIsOpenedBy)
{
    // A symlink beside the pty, as udev's /dev/serial/by-id links stand
    // beside /dev/ttyUSB0. Holds for root as well (the tests run as root in CI).
    const auto symlink = std::filesystem::temp_directory_path() / ("camconsole-owner-" + std::to_string(getpid()));
    std::filesystem::remove(symlink);
    std::filesystem::create_symlink(camera.devicePath(), symlink);
    const std::string device = camera.devicePath();

    for (const auto &[holderPath, contenderPath] :
         { std::pair<std::string, std::string> { symlink, device }, { device, symlink }, { device, device } }) {
        SCOPED_TRACE(holderPath + " held, " + contenderPath + " refused");
        setenv("CAMCONSOLE_PORT1", holderPath.c_str(), 1);
        link.setPortOpen(true);
        EXPECT_TRUE(TerminalIsExclusive(device));

        // A reply waits in the device, not yet read by the holder, while a
        // second console tries the port.
        camera.send("ACK");
        ASSERT_TRUE(WaitUntil([&] { return camera.unreadByDevice() == 3; }));
        setenv("CAMCONSOLE_PORT1", contenderPath.c_str(), 1);
        QtSerialLink second;
        try {
            second.setPortOpen(true);
            ADD_FAILURE() << "a device in use must not open twice";
        } catch (const LinkError &error) {
            EXPECT_EQ(error.cause(), LinkError::Cause::Busy) << error.what();
            EXPECT_EQ(std::string(error.what()), contenderPath + ": the port is in use by another program");
        }
        EXPECT_FALSE(second.portOpen());
        // The refused open leaves the holder as it was: exclusive, and with
        // every byte of its reply (an open that reached the device would have
        // flushed them).
        EXPECT_TRUE(TerminalIsExclusive(device));
        EXPECT_EQ(link.input(), "ACK");

        link.setPortOpen(false);
        EXPECT_FALSE(TerminalIsExclusive(device)) << "released on close";
        second.setPortOpen(true);
        EXPECT_TRUE(second.portOpen()) << "after the holder closed, the next open works";
        second.setPortOpen(false);
    }
    std::filesystem::remove(symlink);
}

TEST_F(QtSerialLinkTest, AHangUpEndsTheLinkOnce)
{
    link.setPortOpen(true);
    camera.hangUp();
    // Reads before the hang-up reached the device find nothing; the first
    // one after it raises the read error.
    std::optional<LinkError> first;
    ASSERT_TRUE(WaitUntil([&] {
        try {
            EXPECT_EQ(link.input(), "");
            return false;
        } catch (const LinkError &error) {
            first = error;
            return true;
        }
    }));
    EXPECT_EQ(first->cause(), LinkError::Cause::ReadFailed) << first->what();
    EXPECT_EQ(std::string(first->what()), camera.devicePath() + ": Input/output error") << "whatever Qt reported";
    EXPECT_FALSE(link.portOpen()) << "the port is closed after the first error";
    try {
        link.input();
        FAIL();
    } catch (const LinkError &error) {
        EXPECT_EQ(error.cause(), LinkError::Cause::NotOpen);
    }
}

} // namespace
