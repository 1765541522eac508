// The command line's pieces that need no camera: parsing, the port and
// driver precedence, the port listing over made-up records.
#include "cli/camera_choices.h"
#include "cli/command_line.h"
#include "cli/port_listing.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

ParsedCommandLine Parse(std::vector<const char *> args)
{
    QStringList arguments { QStringLiteral("camconsole") };
    for (const char *arg : args)
        arguments << QString::fromUtf8(arg);
    return ParseCommandLine(arguments);
}

TEST(CommandLineTest, OptionsAndTheirValues)
{
    using Action = CommandLine::Action;
    EXPECT_EQ(Parse({}).commandLine.action, Action::Window);
    EXPECT_EQ(Parse({ "--port", "/dev/ttyUSB0", "--driver", "lib.so" }).commandLine.action, Action::Window);
    EXPECT_EQ(Parse({ "--help" }).commandLine.action, Action::Help);
    EXPECT_EQ(Parse({ "-h", "--run", "nonsense" }).commandLine.action, Action::Help) << "help wins";
    EXPECT_EQ(Parse({ "--version" }).commandLine.action, Action::Version);
    EXPECT_EQ(Parse({ "--list-ports", "--port", "/dev/ttyUSB1" }).commandLine.action, Action::ListPorts);
    EXPECT_EQ(Parse({ "--check-port" }).commandLine.action, Action::CheckPort);
    EXPECT_EQ(Parse({ "--check-port" }).commandLine.checkPort, std::nullopt) << "port 1";
    EXPECT_EQ(Parse({ "--check-port", "/dev/ttyUSB1" }).commandLine.checkPort, "/dev/ttyUSB1");

    const ParsedCommandLine run = Parse({ "--run", "binary,normal,dll,normal", "--repeat=300", "--port=/dev/ttyUSB0" });
    ASSERT_EQ(run.error, "");
    EXPECT_EQ(run.commandLine.action, Action::Run);
    EXPECT_EQ(run.commandLine.tests,
              (std::vector { TestKind::LineMode, TestKind::Direct, TestKind::Driver, TestKind::Direct }));
    EXPECT_EQ(run.commandLine.repeat, 300);
    EXPECT_EQ(run.commandLine.port, "/dev/ttyUSB0");
    EXPECT_EQ(run.commandLine.driver, std::nullopt);

    const ParsedCommandLine save
        = Parse({ "--run", "dll", "--save-picture", "p.png", "--save-frame", "f.png", "--save-reply", "r.bin" });
    ASSERT_EQ(save.error, "");
    EXPECT_EQ(save.commandLine.repeat, 1);
    EXPECT_EQ(save.commandLine.savePicture, "p.png");
    EXPECT_EQ(save.commandLine.saveFrame, "f.png");
    EXPECT_EQ(save.commandLine.saveReply, "r.bin");

    const ParsedCommandLine line
        = Parse({ "--run", "normal", "--units", "forever", "--wait-for-port=30", "--timestamps", "--keep-failed",
                  "kept", "--csv=runs.csv", "--tag", "station=A", "--tag", "batch=7=b", "--tag", "station=B" });
    ASSERT_EQ(line.error, "");
    EXPECT_EQ(line.commandLine.units, kUnitsForever);
    EXPECT_TRUE(line.commandLine.waitForPort);
    EXPECT_EQ(line.commandLine.waitSeconds, 30);
    EXPECT_TRUE(line.commandLine.timestamps);
    EXPECT_EQ(line.commandLine.keepFailed, "kept");
    EXPECT_EQ(line.commandLine.csv, "runs.csv");
    EXPECT_EQ(line.commandLine.tags,
              (std::vector<std::pair<std::string, std::string>> { { "station", "B" }, { "batch", "7=b" } }));
    const ParsedCommandLine unit = Parse({ "--run", "dll", "--unit", "U1234", "--units=3", "--wait-for-port" });
    EXPECT_EQ(unit.error, "--unit and --units can not be combined.");
    EXPECT_EQ(Parse({ "--run", "dll", "--units=3", "--wait-for-port" }).commandLine.waitSeconds, std::nullopt);
    // --open takes its value and every argument after it.
    const ParsedCommandLine open = Parse({ "--open", "a.camrun", "b.camrun" });
    ASSERT_EQ(open.error, "");
    EXPECT_EQ(open.commandLine.action, Action::OpenCaptures);
    EXPECT_EQ(open.commandLine.captures, (std::vector<std::string> { "a.camrun", "b.camrun" }));
    const ParsedCommandLine judge = Parse({ "--open", "a.camrun", "--expect-frame", "f.png", "--tolerance", "3" });
    ASSERT_EQ(judge.error, "");
    EXPECT_EQ(judge.commandLine.action, Action::JudgeCaptures);
    EXPECT_EQ(judge.commandLine.tolerance, 3);
}

TEST(CommandLineTest, UsageErrorsSayWhatIsWrong)
{
    const std::pair<std::vector<const char *>, std::string> cases[] = {
        { { "--bogus" }, "Unknown option '--bogus'." },
        { { "--bogus=1" }, "Unknown option '--bogus'." },
        { { "-x" }, "Unknown option '-x'." },
        { { "--port" }, "Missing value after '--port'." },
        { { "--port=" }, "Missing value after '--port'." },
        { { "--run" }, "Missing value after '--run'." },
        { { "--run", "normal,fast" }, "Unknown test 'fast' in --run (use normal, dll or binary)." },
        { { "--run", "Normal" }, "Unknown test 'Normal' in --run (use normal, dll or binary)." },
        { { "--run", "normal," }, "Unknown test '' in --run (use normal, dll or binary)." },
        { { "--run", "normal", "--repeat", "0" }, "--repeat needs a whole number from 1 to 1000000, not '0'." },
        { { "--run", "normal", "--repeat", "-3" }, "--repeat needs a whole number from 1 to 1000000, not '-3'." },
        { { "--run", "normal", "--repeat", "2x" }, "--repeat needs a whole number from 1 to 1000000, not '2x'." },
        { { "--repeat", "2" }, "--repeat needs --run." },
        { { "--run", "normal,dll", "--save-reply", "r.bin" }, "--save-reply needs --run with one test." },
        { { "--save-picture", "p.png" }, "--save-picture needs --run with one test." },
        { { "--run", "dll", "--save-picture=" }, "Missing value after '--save-picture'." },
        { { "--list-ports", "--run", "normal" }, "--list-ports and --run can not be combined." },
        { { "--save-run", "r.camrun" }, "--save-run needs --run with one test." },
        { { "--open", "a.camrun", "--run", "normal" }, "--open and --run can not be combined." },
        { { "--open", "a.camrun", "--save-reply", "r.bin" }, "--save-reply needs --run with one test." },
        { { "--open", "" }, "Missing value after '--open'." },
        { { "normal" }, "Unexpected argument 'normal'." },
        { { "--check-port", "--run", "normal" }, "--check-port and --run can not be combined." },
        { { "--check-port", "/dev/ttyS0", "/dev/ttyS1" }, "Unexpected argument '/dev/ttyS1'." },
        { { "--units", "3" }, "--units needs --run." },
        { { "--timestamps" }, "--timestamps needs --run." },
        { { "--csv", "runs.csv" }, "--csv needs --run." },
        { { "--run", "normal", "--units", "0" },
          "--units needs a whole number from 1 to 1000000 or forever, not '0'." },
        { { "--run", "normal", "--units", "always" },
          "--units needs a whole number from 1 to 1000000 or forever, not 'always'." },
        { { "--run", "normal", "--wait-for-port=" },
          "--wait-for-port needs a whole number of seconds from 1 to 1000000, not ''." },
        { { "--run", "normal", "--wait-for-port", "30" }, "Unexpected argument '30'." },
        { { "--run", "normal", "--tag", "=x" }, "--tag needs KEY=VALUE, not '=x'." },
        { { "--run", "normal", "--tag", "station" }, "--tag needs KEY=VALUE, not 'station'." },
        { { "--run", "normal", "--keep-failed=" }, "Missing value after '--keep-failed'." },
    };
    for (const auto &[args, error] : cases) {
        SCOPED_TRACE(args.empty() ? "" : args[0]);
        EXPECT_EQ(Parse(args).error, error);
    }
    EXPECT_EQ(UsageErrorText("Unknown option '--bogus'."),
              "camconsole: Unknown option '--bogus'.\nTry 'camconsole --help' for more information.\n");
}

class ChoiceTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        unsetenv("CAMCONSOLE_PORT1");
        unsetenv("CAMCONSOLE_DRIVER");
    }
};

TEST_F(ChoiceTest, PortOptionThenEnvironmentThenDefault)
{
    unsetenv("CAMCONSOLE_PORT1");
    EXPECT_EQ(ChoosePort(std::nullopt).device, "/dev/ttyS0");
    EXPECT_EQ(ChoosePort(std::nullopt).source, ChoiceSource::Default);
    setenv("CAMCONSOLE_PORT1", "", 1);
    EXPECT_EQ(ChoosePort(std::nullopt).source, ChoiceSource::Default) << "empty counts as unset";
    setenv("CAMCONSOLE_PORT1", "/dev/ttyUSB3", 1);
    EXPECT_EQ(ChoosePort(std::nullopt).device, "/dev/ttyUSB3");
    EXPECT_EQ(ChoosePort(std::nullopt).source, ChoiceSource::Environment);
    EXPECT_EQ(ChoosePort("/dev/ttyACM0").device, "/dev/ttyACM0");
    EXPECT_EQ(ChoosePort("/dev/ttyACM0").source, ChoiceSource::Option);

    // The choice reaches everything that maps port 1, the driver library included.
    UsePortDevice("/dev/ttyACM0");
    EXPECT_STREQ(std::getenv("CAMCONSOLE_PORT1"), "/dev/ttyACM0");
}

TEST_F(ChoiceTest, DriverOptionThenEnvironmentThenInstalledDefault)
{
    unsetenv("CAMCONSOLE_DRIVER");
    const DriverChoice installed = ChooseDriver(std::nullopt);
    EXPECT_EQ(installed.source, ChoiceSource::Default);
    EXPECT_TRUE(installed.path.ends_with("/lib/camconsole/libtarqis.so")) << installed.path;
    setenv("CAMCONSOLE_DRIVER", "/opt/cam/libcam.so", 1);
    EXPECT_EQ(ChooseDriver(std::nullopt).path, "/opt/cam/libcam.so");
    EXPECT_EQ(ChooseDriver(std::nullopt).source, ChoiceSource::Environment);
    const DriverChoice option = ChooseDriver("/opt/other/../cam/libx.so");
    EXPECT_EQ(option.path, "/opt/cam/libx.so");
    EXPECT_EQ(option.source, ChoiceSource::Option);
    EXPECT_TRUE(ChooseDriver("libx.so").path.starts_with("/")) << "a relative path is made absolute";
}

TEST(PortListingTest, OneLinePerPortThenPortOne)
{
    const std::vector<PortRecord> ports = {
        { "/dev/ttyS0", "", "", "", std::nullopt, std::nullopt },
        { "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A10K5XYZ", 0x0403, 0x6001 },
        { "/dev/ttyACM0", "", "Arduino", "", 0x2341, 0x0043 },
    };
    EXPECT_EQ(FormatPortListing(ports, { "/dev/ttyUSB0", ChoiceSource::Option }),
              "/dev/ttyS0\n"
              "/dev/ttyUSB0  FT232R USB UART, FTDI, serial number A10K5XYZ, USB 0403:6001\n"
              "/dev/ttyACM0  Arduino, USB 2341:0043\n"
              "Port 1 is /dev/ttyUSB0 (from --port).\n");
    const PortDiagnosis usable { PortDiagnosis::Problem::None, { "/dev/ttyS0 is a serial port ..." } };
    const PortDiagnosis denied { PortDiagnosis::Problem::Permission,
                                 { "/dev/ttyUSB0: permission denied: ...", "Fix: ..." } };
    EXPECT_EQ(FormatPortListing(ports, { "/dev/ttyS0", ChoiceSource::Default }, true, { usable, denied }),
              "/dev/ttyS0\n"
              "/dev/ttyUSB0  FT232R USB UART, FTDI, serial number A10K5XYZ, USB 0403:6001\n"
              "  Warning: /dev/ttyUSB0: permission denied: ... (camconsole --check-port /dev/ttyUSB0 says what to do)\n"
              "/dev/ttyACM0  Arduino, USB 2341:0043\n"
              "Port 1 is /dev/ttyS0 (the default).\n");
    EXPECT_EQ(FormatPortListing({}, { "/tmp/camport", ChoiceSource::Environment }),
              "The system reports no serial ports.\n"
              "Port 1 is /tmp/camport (from CAMCONSOLE_PORT1).\n");
    EXPECT_EQ(FormatPortListing({}, { "/dev/ttyS0", ChoiceSource::Default }),
              "The system reports no serial ports.\nPort 1 is /dev/ttyS0 (the default).\n");
    EXPECT_EQ(FormatPortListing({}, { "./no-such-device", ChoiceSource::Option }, false),
              "The system reports no serial ports.\nPort 1 is ./no-such-device (from --port), which does not exist.\n");
}

} // namespace
