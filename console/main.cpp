#include "console/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("camconsole"));
    QApplication::setApplicationVersion(QStringLiteral(CAMCONSOLE_VERSION));
    Form1 window;
    window.show();
    return app.exec();
}
