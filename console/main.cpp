#include "console/form1.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("camconsole"));
    QApplication::setApplicationVersion(QStringLiteral(CAMCONSOLE_VERSION));
    // QFileDialog ("Save Picture As...") keeps its history and layout in Qt's
    // own settings file (~/.config/QtProject.conf). The console keeps no
    // state, and saving a picture writes that picture only: point the
    // settings where no file can be created. Nothing else uses QSettings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    Form1 window;
    window.show();
    return app.exec();
}
