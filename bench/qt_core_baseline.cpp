// The least a program on QtCore and QtSerialPort costs to start and exit:
// an application object, a serial port object and one line printed, as
// `camconsole --version` does. scripts/bench-headless.sh compares the
// console's start-up with it. Figures only; nothing is asserted.
#include <QCoreApplication>
#include <QSerialPort>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QSerialPort port;
    std::printf("qt_core_baseline %s\n", qVersion());
    return port.isOpen() ? 1 : 0;
}
