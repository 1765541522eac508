#include "common/port_device.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(PortDevice, EnvironmentNamesTheDeviceElseTheNthSerialPort)
{
    unsetenv("CAMCONSOLE_PORT3");
    EXPECT_EQ(PortDevicePath(3), "/dev/ttyS2");
    setenv("CAMCONSOLE_PORT3", "/tmp/cam", 1);
    EXPECT_EQ(PortDevicePath(3), "/tmp/cam");
    setenv("CAMCONSOLE_PORT3", "", 1);
    EXPECT_EQ(PortDevicePath(3), "/dev/ttyS2");
    unsetenv("CAMCONSOLE_PORT3");

    EXPECT_EQ(PortNumberFromName("COM1"), 1);
    EXPECT_EQ(PortNumberFromName("com12"), 12);
    EXPECT_EQ(PortNumberFromName("COM"), 0);
    EXPECT_EQ(PortNumberFromName("COM1x"), 0);
    EXPECT_EQ(PortNumberFromName("LPT1"), 0);
    EXPECT_EQ(PortNumberFromName("CO"), 0);
    EXPECT_EQ(PortNumberFromName(nullptr), 0);
    EXPECT_EQ(PortNumberFromName("COM99999999999"), 0);
}

} // namespace
