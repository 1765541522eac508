#include "console/window_entry.h"

#include "console/form1.h"

#include <QApplication>
#include <QSettings>

extern "C" __attribute__((visibility("default"))) int
camconsole_run_window(int &argc, char **argv, const PortChoice &port, const DriverChoice &driver)
{
    QApplication app(argc, argv);
    // QFileDialog ("Save Picture As...", "Driver Library...") keeps its
    // history and layout in Qt's own settings file
    // (~/.config/QtProject.conf). The console keeps no state: point the
    // settings where no file can be created. Nothing else uses QSettings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    Form1 window(port, driver);
    window.show();
    return app.exec();
}
