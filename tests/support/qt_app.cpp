#include "qt_app.h"

#include <QApplication>

#include <cstdlib>

void EnsureQtApp()
{
    if (QApplication::instance())
        return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "camconsole-tests";
    static char *argv[] = { name, nullptr };
    static QApplication app(argc, argv);
}
