#include "link/qt_serial_link.h"

#include "support/pty_pair.h"
#include "support/qt_app.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

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

TEST_F(QtSerialLinkTest, MissingDeviceRaisesWithTheComponentsText)
{
    setenv("CAMCONSOLE_PORT1", "/nonexistent/camconsole-port", 1);
    try {
        link.setPortOpen(true);
        FAIL() << "opening a missing device must raise";
    } catch (const LinkError &error) {
        EXPECT_EQ(error.cause(), LinkError::Cause::NoSuchDevice);
        EXPECT_STRNE(error.what(), "");
    }
    EXPECT_FALSE(link.portOpen());
}

TEST_F(QtSerialLinkTest, DeviceInUseIsReportedBusy)
{
    link.setPortOpen(true);
    QtSerialLink second;
    try {
        second.setPortOpen(true);
        FAIL() << "a device in use must not open twice";
    } catch (const LinkError &error) {
        EXPECT_EQ(error.cause(), LinkError::Cause::Busy) << error.what();
    }
    EXPECT_FALSE(second.portOpen());
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
    EXPECT_FALSE(link.portOpen()) << "the port is closed after the first error";
    try {
        link.input();
        FAIL();
    } catch (const LinkError &error) {
        EXPECT_EQ(error.cause(), LinkError::Cause::NotOpen);
    }
}

} // namespace
