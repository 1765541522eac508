#include "cli/camera_choices.h"
#include "cli/command_line.h"
#include "cli/headless_main.h"
#include "console/form1.h"
#include "console/utf8_locale.h"

#include <QApplication>
#include <QSettings>

#include <cstdio>

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

    if (commandLine.action != CommandLine::Action::Window) {
        QCoreApplication app(argc, argv);
        return RunWithoutWindow(commandLine);
    }

    const PortChoice port = ChoosePort(commandLine.port);
    if (commandLine.port)
        UsePortDevice(port.device);
    QApplication app(argc, argv);
    // QFileDialog ("Save Picture As...", "Driver Library...") keeps its
    // history and layout in Qt's own settings file
    // (~/.config/QtProject.conf). The console keeps no state: point the
    // settings where no file can be created. Nothing else uses QSettings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    Form1 window(port, ChooseDriver(commandLine.driver));
    window.show();
    return app.exec();
}
