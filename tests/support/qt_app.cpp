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
    // Never destroyed: tearing Qt down during static destruction, after the
    // platform plugin's own statics are gone, crashes at exit.
    static QApplication *app = new QApplication(argc, argv);
    (void)app;
}
