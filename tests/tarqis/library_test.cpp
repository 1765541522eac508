// The built libtarqis.so as the console sees it: loaded with dlopen, five C
// entries, nothing else exported, and safe results without a camera.

#include "tarqis.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

extern "C" int tarqis_header_frame_buffer_size_from_c(void);

namespace {

const char *const kEntries[] = { "CAM_Init", "CAM_Ping", "CAM_DumpFrame", "CAM_ClosePort", "CAM_LastError" };

class Library : public testing::Test {
protected:
    void SetUp() override
    {
        handle = ::dlopen(TARQIS_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        init = entry<decltype(&CAM_Init)>("CAM_Init");
        ping = entry<decltype(&CAM_Ping)>("CAM_Ping");
        dump = entry<decltype(&CAM_DumpFrame)>("CAM_DumpFrame");
        close = entry<decltype(&CAM_ClosePort)>("CAM_ClosePort");
        lastError = entry<decltype(&CAM_LastError)>("CAM_LastError");
    }

    void TearDown() override
    {
        if (close)
            close();
        if (handle)
            ::dlclose(handle);
    }

    template <typename F> F entry(const char *name) { return reinterpret_cast<F>(::dlsym(handle, name)); }

    void *handle = nullptr;
    decltype(&CAM_Init) init = nullptr;
    decltype(&CAM_Ping) ping = nullptr;
    decltype(&CAM_DumpFrame) dump = nullptr;
    decltype(&CAM_ClosePort) close = nullptr;
    decltype(&CAM_LastError) lastError = nullptr;
};

} // namespace

TEST_F(Library, ExportsExactlyItsFiveEntries)
{
    for (const char *name : kEntries)
        EXPECT_NE(::dlsym(handle, name), nullptr) << name;

    // Internal code (the dump reader, the serial port, the port mapping
    // linked in statically) is not reachable by name.
    for (const char *name : { "_ZN6tarqis10DumpReader4feedEPKhm",
                              "_ZN6tarqis10SerialPort4openERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
                              "_Z14PortDevicePathB5cxx11i", "_Z18PortNumberFromNamePKc" })
        EXPECT_EQ(::dlsym(handle, name), nullptr) << name;

    // The dynamic symbol table defines the entries and nothing else.
    const std::string command = std::string("nm -D --defined-only '") + TARQIS_LIBRARY_PATH + "' 2>/dev/null";
    FILE *pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> defined;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char type = 0;
        char name[400] = {};
        if (std::sscanf(line, "%*s %c %399s", &type, name) == 2)
            defined.insert(name);
    }
    const int status = ::pclose(pipe);
    if (status != 0)
        GTEST_SKIP() << "nm not available";
    EXPECT_EQ(defined, std::set<std::string>(std::begin(kEntries), std::end(kEntries)));
}

TEST_F(Library, HeaderIsUsableFromC)
{
    EXPECT_EQ(tarqis_header_frame_buffer_size_from_c(), 40001);
}

TEST_F(Library, EntriesFailSafelyWithoutAnOpenPortAndSayWhy)
{
    std::vector<std::uint8_t> buffer(TARQIS_FRAME_BUFFER_SIZE, 0x5A);
    const std::vector<std::uint8_t> untouched = buffer;
    const auto why = [&] { return std::string(lastError()); };

    // Before any CAM_Init.
    EXPECT_EQ(close(), 1);
    EXPECT_EQ(why(), "");
    EXPECT_EQ(close(), 1);
    EXPECT_EQ(ping(), 0);
    EXPECT_EQ(why(), "no port is open");
    EXPECT_EQ(dump(buffer.data()), 0);
    EXPECT_EQ(dump(nullptr), 0);
    EXPECT_EQ(why(), "no frame buffer given");
    EXPECT_EQ(buffer, untouched);

    // Names that are not ports, and a port whose device does not exist: no
    // device is opened (the variables keep the test off real serial ports).
    ::setenv("CAMCONSOLE_PORT1", "/nonexistent/tarqis-test-port", 1);
    ::setenv("CAMCONSOLE_PORT7", "/nonexistent/tarqis-test-port", 1);
    EXPECT_EQ(init(nullptr), 0);
    EXPECT_EQ(why(), "no port name given");
    EXPECT_EQ(init(""), 0);
    EXPECT_EQ(init("COM"), 0);
    EXPECT_EQ(init("COM0"), 0);
    EXPECT_EQ(init("LPT1"), 0);
    EXPECT_EQ(why(), "\"LPT1\" is not a port name such as COM1");
    EXPECT_EQ(init("COM1x"), 0);
    EXPECT_EQ(init("com7"), 0);
    EXPECT_EQ(init("COM1"), 0);
    EXPECT_EQ(why(), "/nonexistent/tarqis-test-port: No such file or directory");
    EXPECT_EQ(ping(), 0);
    EXPECT_EQ(dump(buffer.data()), 0);
    EXPECT_EQ(buffer, untouched);

    // A device that is not a terminal opens but can not be configured: the
    // port stays closed.
    ::setenv("CAMCONSOLE_PORT1", "/dev/null", 1);
    EXPECT_EQ(init("COM1"), 0);
    EXPECT_EQ(why(), "/dev/null: not a serial port");
    EXPECT_EQ(ping(), 0);
    ::unsetenv("CAMCONSOLE_PORT1");
    ::unsetenv("CAMCONSOLE_PORT7");
}
