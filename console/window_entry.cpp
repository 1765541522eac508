#include "console/window_entry.h"

#include "cli/command_line.h"
#include "console/form1.h"
#include "inspector/frames_window.h"

#include <QApplication>
#include <QSettings>

#include <cstdio>

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
    QApplication app(argc, argv);
    KeepNoSettings();
    FramesWindow window;
    int opened = 0;
    for (const std::string &path : captures) {
        QString error;
        if (window.openCapture(QString::fromStdString(path), &error))
            ++opened;
        else
            std::fprintf(stderr, "camconsole: cannot open capture %s: %s\n", path.c_str(), error.toUtf8().constData());
    }
    if (opened == 0)
        return kUsageErrorStatus;
    window.show();
    return app.exec();
}
