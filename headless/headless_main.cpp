#include "headless_main.h"

#include "capture_open.h"
#include "cli/camera_choices.h"
#include "cli/port_listing.h"
#include "driver/driver_library.h"
#include "exit_status.h"
#include "headless_runner.h"
#include "qt_io/qt_serial_link.h"
#include "run_setup.h"
#include "stop_signals.h"

#include <QCoreApplication>

#include <cstdio>
#include <filesystem>

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
    case CommandLine::Action::ListPorts: {
        const PortChoice port1 = ChoosePort(commandLine.port);
        std::error_code error;
        const std::vector<PortRecord> ports = SystemPorts();
        return Print(
            FormatPortListing(ports, port1, std::filesystem::exists(port1.device, error), DiagnosePorts(ports)));
    }
    case CommandLine::Action::CheckPort: {
        const PortCheck check = CheckPort(commandLine.checkPort.value_or(ChoosePort(commandLine.port).device));
        Print(check.text);
        return ExitStatusOf(check.usable ? ExitCause::AllSucceeded : ExitCause::Unreachable);
    }
    case CommandLine::Action::JudgeCaptures:
        return JudgeCaptures(commandLine);
    case CommandLine::Action::Run:
    case CommandLine::Action::Window:
    case CommandLine::Action::OpenCaptures:
        break;
    }

    // What can be found wrong before a test runs is a usage error, found
    // before the port is opened.
    std::string problem;
    std::optional<ExpectedFrameCheck> expected = ExpectedFrameFor(commandLine, &problem);
    if (problem.empty())
        problem = OutputFilesProblem(commandLine);
    if (!problem.empty()) {
        std::fputs(UsageErrorText(problem).c_str(), stderr);
        return kUsageErrorStatus;
    }

    const PortChoice port = ChoosePort(commandLine.port);
    const DriverChoice driverChoice = ChooseDriver(commandLine.driver);
    if (commandLine.port)
        UsePortDevice(*commandLine.port);
    QtSerialLink com;
    DriverLibrary driver(driverChoice.path);
    HeadlessRunner runner(com, driver, driverChoice.path, stdout, stderr);
    runner.afterRound = afterRound;
    HeadlessRequest request;
    request.tests = commandLine.tests;
    request.repeat = commandLine.repeat;
    request.savePicture = commandLine.savePicture;
    request.saveFrame = commandLine.saveFrame;
    request.saveReply = commandLine.saveReply;
    request.saveRun = commandLine.saveRun;
    request.expectedFrame = std::move(expected);
    request.report = commandLine.report;
    request.junit = commandLine.junit;
    request.reportHeader.version = QCoreApplication::applicationVersion().toStdString();
    request.reportHeader.port = port.device;
    request.reportHeader.portSource = PortSourceText(port.source);
    request.reportHeader.driver = driverChoice.path;
    request.reportHeader.driverSource = DriverSourceText(driverChoice.source);
    request.reportHeader.start = std::chrono::system_clock::now();
    request.reportHeader.tags = commandLine.tags;
    request.timestamps = commandLine.timestamps;
    request.keepFailed = commandLine.keepFailed;
    request.csv = commandLine.csv;
    request.waitForPort = commandLine.waitForPort;
    request.waitSeconds = commandLine.waitSeconds;
    request.units = commandLine.units;
    request.unit = commandLine.unit;
    const int status = runner.run(request);
    if (const int signal = StopSignals::received()) {
        std::fflush(stdout);
        StopSignals::endBy(signal);
    }
    return status;
}
