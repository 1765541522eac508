#include "console/window_entry.h"

#include "cli/command_line.h"
#include "console/form1.h"
#include "frames/capture_file.h"
#include "inspector/frames_window.h"

#include <QApplication>
#include <QSettings>

#include <cstdio>
#include <utility>

namespace {

void KeepNoSettings()
{
    // QFileDialog ("Save Picture As...", "Driver Library...") keeps its
    // history and layout in Qt's own settings file
    // (~/.config/QtProject.conf). The console keeps no state: point the
    // settings where no file can be created. Nothing else uses QSettings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
camconsole_run_window(int &argc, char **argv, const PortChoice &port, const DriverChoice &driver)
{
    QApplication app(argc, argv);
    KeepNoSettings();
    Form1 window(port, driver);
    window.show();
    return app.exec();
}

extern "C" __attribute__((visibility("default"))) int camconsole_open_captures(int &argc, char **argv,
                                                                               const std::vector<std::string> &captures)
{
    // Read before the application starts, so that files that can not be
    // opened are said without a display.
    std::vector<std::pair<std::string, Capture>> opened;
    for (const std::string &path : captures) {
        std::string error;
        if (std::optional<Capture> capture = LoadCapture(path, &error))
            opened.emplace_back(path, std::move(*capture));
        else
            std::fprintf(stderr, "camconsole: cannot open capture %s: %s\n", path.c_str(), error.c_str());
    }
    if (opened.empty())
        return kUsageErrorStatus;
    QApplication app(argc, argv);
    KeepNoSettings();
    FramesWindow window;
    for (auto &[path, capture] : opened)
        window.showCapture(QString::fromStdString(path), std::move(capture));
    window.show();
    return app.exec();
}
