#include "driver/driver_library.h"

#include "procedures/camera_tests.h"
#include "support/fake_platform.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using Lines = std::vector<std::string>;

// The calls the fake library recorded, read through its own handle.
std::string RecordedCalls()
{
    void *handle = dlopen(FAKE_DRIVER_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return "(not loaded)";
    auto calls = reinterpret_cast<const char *(*)()>(dlsym(handle, "FakeDriver_Calls"));
    std::string result = calls ? calls() : "(no call log)";
    dlclose(handle);
    return result;
}

// The driver test, run with the console's real library loader on a fake
// driver library and fakes for everything else.
class DriverTestWithLibrary : public ::testing::Test {
protected:
    void run(const char *dumpMode)
    {
        setenv("FAKE_DRIVER_DUMP", dumpMode, 1);
        ConsolePlatform platform { f.status, f.pic,    f.com,    f.time,  f.time,
                                   f.time,   f.events, f.errors, library, f.advisor };
        CameraTests(platform).df_dll_Click();
        calls = RecordedCalls().substr(callsBefore);
    }
    void SetUp() override { callsBefore = RecordedCalls() == "(not loaded)" ? 0 : RecordedCalls().size(); }

    FakePlatform f;
    DriverLibrary library { FAKE_DRIVER_LIBRARY };
    std::size_t callsBefore = 0;
    std::string calls;
};

TEST_F(DriverTestWithLibrary, DumpThatWritesNothingAndFails)
{
    // The fake library has no CAM_LastError: the log holds the specified lines only.
    run("empty");
    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....FAILED...Trying DF anyway",
                      "Starting Timer & Dumping Frame....FAILED", "Total Ticks to Get Frame: 0",
                      "Total Ticks to Process Frame: 0" }));
    EXPECT_EQ(calls, "CAM_Init COM1\nCAM_Ping\nCAM_DumpFrame\nCAM_ClosePort\n");
    EXPECT_TRUE(f.pic.calls.empty());
}

TEST_F(DriverTestWithLibrary, FrameStartAtIndexZeroIsNotDrawn)
{
    run("at-zero");
    EXPECT_TRUE(f.pic.calls.empty());
    EXPECT_EQ(f.status.lines()[4], "Image Dump CompleteTotal Ticks to Get Frame: 0");
    EXPECT_EQ(calls.substr(calls.size() - 14), "CAM_ClosePort\n");
}

TEST_F(DriverTestWithLibrary, FrameBehindTheAcknowledgementIsDrawn)
{
    f.pic.setPixel(100, 100, kBlue); // an earlier test's picture
    run("behind-ack");
    EXPECT_EQ(f.pic.at(100, 100), RecordingSurface::kBackground) << "the earlier picture is wiped";
    EXPECT_EQ(f.pic.at(2, 0), MakeColor(16, 16, 200));
    EXPECT_EQ(f.pic.at(7, 3), MakeColor(18, 19, 200));
    EXPECT_EQ(f.status.lines()[4], "Image Dump CompleteTotal Ticks to Get Frame: 0");
}

TEST_F(DriverTestWithLibrary, DumpPastTheLastExaminedIndexStopsThere)
{
    run("past-end");
    // Two pixels: the one starting at 34407 still reads its green and blue.
    EXPECT_EQ(f.pic.calls,
              std::vector<RecordingSurface::Pixel>({ { 2, 0, MakeColor(10, 20, 30) },
                                                     { 3, 0, MakeColor(10, 20, 30) },
                                                     { 2, 1, MakeColor(40, 50, 60) },
                                                     { 3, 1, MakeColor(40, 50, 60) } }));
    EXPECT_EQ(f.status.lines()[4], "Total Ticks to Get Frame: 0") << "the end marker lies past the scan";
}

TEST(DriverTestWithTarqis, MissingDeviceIsNamedInTheLibrarysWordsWithAHint)
{
    setenv("CAMCONSOLE_PORT1", "/nonexistent/camconsole-port", 1);
    FakePlatform f;
    DriverLibrary library { TARQIS_LIBRARY };
    ConsolePlatform platform { f.status, f.pic, f.com, f.time, f.time, f.time, f.events, f.errors, library, f.advisor };
    CameraTests tests(platform);
    tests.df_dll_Click();
    unsetenv("CAMCONSOLE_PORT1");

    EXPECT_EQ(f.status.lines(),
              Lines({ "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....FAILED...Trying DF anyway",
                      "Starting Timer & Dumping Frame....FAILED", "Total Ticks to Get Frame: 0",
                      "Total Ticks to Process Frame: 0",
                      "Driver library: /nonexistent/camconsole-port: No such file or directory",
                      "Hint: wrong port, or the adapter is unplugged." }));
    EXPECT_TRUE(f.errors.shown.empty());
    EXPECT_EQ(tests.lastOutcome(), TestOutcome::Failed);
}

TEST(DriverLibraryLoading, MissingLibraryAndMissingEntryRaiseTheLoadersText)
{
    DriverLibrary missing("/nonexistent/libtarqis.so");
    try {
        missing.CAM_Init("COM1");
        FAIL() << "a missing library must raise";
    } catch (const DriverError &error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/libtarqis.so"), std::string::npos);
    }

    EXPECT_EQ(missing.CAM_LastError(), std::nullopt) << "optional: never raises";

    DriverLibrary incomplete(INCOMPLETE_DRIVER_LIBRARY);
    EXPECT_NO_THROW(incomplete.CAM_Init("COM1"));
    EXPECT_EQ(incomplete.CAM_LastError(), std::nullopt);
    try {
        incomplete.CAM_Ping();
        FAIL() << "a missing entry must raise when it is called";
    } catch (const DriverError &error) {
        EXPECT_NE(std::string(error.what()).find("CAM_Ping"), std::string::npos);
    }
    EXPECT_NO_THROW(incomplete.CAM_ClosePort());

    // Checked when chosen by hand: the loader's words for what is missing.
    EXPECT_EQ(DriverLibrary::Check(FAKE_DRIVER_LIBRARY), std::nullopt);
    EXPECT_NE(DriverLibrary::Check(INCOMPLETE_DRIVER_LIBRARY).value_or("").find("undefined symbol: CAM_Ping"),
              std::string::npos);
    EXPECT_NE(DriverLibrary::Check(CLOSELESS_DRIVER_LIBRARY).value_or("").find("undefined symbol: CAM_ClosePort"),
              std::string::npos)
        << "all four entries are needed, the last one called too";
    EXPECT_NE(DriverLibrary::Check("libz.so.1").value_or("").find("undefined symbol: CAM_Init"), std::string::npos)
        << "a library of other purpose";
    EXPECT_NE(DriverLibrary::Check("/nonexistent/libtarqis.so").value_or("").find("/nonexistent/libtarqis.so"),
              std::string::npos);

    // A library that calls a function no library defines is refused when
    // loaded, in the loader's words, not met later at a call.
    EXPECT_NE(DriverLibrary::Check(UNRESOLVED_DRIVER_LIBRARY).value_or("").find("undefined symbol"), std::string::npos);
    DriverLibrary unresolved(UNRESOLVED_DRIVER_LIBRARY);
    try {
        unresolved.CAM_Init("COM1");
        FAIL() << "a library with an unresolved function must raise when loaded";
    } catch (const DriverError &error) {
        EXPECT_NE(std::string(error.what()).find("undefined symbol: FakeDriver_DefinedNowhere"), std::string::npos)
            << error.what();
    }
}

TEST(DriverLibraryLoading, PathFromTheEnvironmentOrBesideTheExecutable)
{
    setenv("CAMCONSOLE_DRIVER", "relative/libx.so", 1);
    const std::string fromEnvironment = DriverLibrary::DefaultPath();
    EXPECT_EQ(fromEnvironment.front(), '/');
    EXPECT_NE(fromEnvironment.find("/relative/libx.so"), std::string::npos);

    setenv("CAMCONSOLE_DRIVER", "", 1); // set but empty: as if not set
    const std::string withEmpty = DriverLibrary::DefaultPath();
    unsetenv("CAMCONSOLE_DRIVER");
    const std::string beside = DriverLibrary::DefaultPath();
    EXPECT_EQ(withEmpty, beside);
    EXPECT_EQ(beside.front(), '/');
    EXPECT_NE(beside.find("/lib/camconsole/libtarqis.so"), std::string::npos);
    EXPECT_EQ(beside.find(".."), std::string::npos);
}

} // namespace
