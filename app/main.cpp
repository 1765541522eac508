#include "cli/camera_choices.h"
#include "cli/command_line.h"
#include "console/window_entry.h"
#include "headless/headless_main.h"
#include "platform/console_library.h"
#include "platform/utf8_locale.h"

#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

namespace {

// An entry of the window's library, or null when the library can not be
// loaded or lacks it (said on standard error).
template <typename Entry> Entry WindowLibraryEntry(const char *name)
{
    try {
        return reinterpret_cast<Entry>(ConsoleLibraryEntry(kWindowLibrary, name));
    } catch (const std::runtime_error &error) {
        std::fprintf(stderr, "camconsole: cannot open the window: %s\n", error.what());
        return nullptr;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any application object: Qt reads the locale when it starts.
    UseUtf8CharacterSet();
    QCoreApplication::setApplicationName(QStringLiteral("camconsole"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CAMCONSOLE_VERSION));

    // The command line is read before any application object exists, so that
    // everything but the window works without a display.
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
    if (!parsed.error.empty()) {
        std::fputs(UsageErrorText(parsed.error).c_str(), stderr);
        return kUsageErrorStatus;
    }
    const CommandLine &commandLine = parsed.commandLine;

    if (commandLine.action == CommandLine::Action::OpenCaptures) {
        const auto openCaptures = WindowLibraryEntry<OpenCapturesEntry>(kOpenCapturesEntry);
        return openCaptures ? openCaptures(argc, argv, commandLine.captures) : 1;
    }
    if (commandLine.action != CommandLine::Action::Window) {
        QCoreApplication app(argc, argv);
        return RunWithoutWindow(commandLine);
    }

    const PortChoice port = ChoosePort(commandLine.port);
    if (commandLine.port)
        UsePortDevice(port.device);
    const auto runWindow = WindowLibraryEntry<RunWindowEntry>(kRunWindowEntry);
    return runWindow ? runWindow(argc, argv, port, ChooseDriver(commandLine.driver)) : 1;
}
