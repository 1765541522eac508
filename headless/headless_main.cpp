#include "headless_main.h"

#include "cli/camera_choices.h"
#include "cli/port_listing.h"
#include "driver/driver_library.h"
#include "headless_runner.h"
#include "qt_io/qt_serial_link.h"

#include <cstdio>

namespace {

int Print(const std::string &text)
{
    std::fputs(text.c_str(), stdout);
    return 0;
}

} // namespace

int RunWithoutWindow(const CommandLine &commandLine, const std::function<void(int round)> &afterRound)
{
    switch (commandLine.action) {
    case CommandLine::Action::Help:
        return Print(HelpText());
    case CommandLine::Action::Version:
        return Print(VersionText());
    case CommandLine::Action::ListPorts:
        return Print(FormatPortListing(SystemPorts(), ChoosePort(commandLine.port)));
    case CommandLine::Action::Run:
    case CommandLine::Action::Window:
        break;
    }

    if (commandLine.port)
        UsePortDevice(*commandLine.port);
    QtSerialLink com;
    const std::string driverPath = ChooseDriver(commandLine.driver).path;
    DriverLibrary driver(driverPath);
    HeadlessRunner runner(com, driver, driverPath, stdout, stderr);
    runner.afterRound = afterRound;
    return runner.run({ commandLine.tests, commandLine.repeat, commandLine.savePicture, commandLine.saveFrame,
                        commandLine.saveReply });
}
