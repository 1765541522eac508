#pragma once

#include <optional>
#include <string>

// Which serial device is port 1 and which driver library the console loads,
// and where each choice came from. Nothing is stored: a choice lasts as long
// as the process.

enum class ChoiceSource {
    Option, // --port / --driver
    Environment, // CAMCONSOLE_PORT1 / CAMCONSOLE_DRIVER
    Default, // /dev/ttyS0 / the library installed beside the program
    Menu, // picked in the window's console menu
};

struct PortChoice {
    std::string device;
    ChoiceSource source = ChoiceSource::Default;
};

struct DriverChoice {
    std::string path;
    ChoiceSource source = ChoiceSource::Default;
};

// Port 1's device: the option when given, else $CAMCONSOLE_PORT1 when set
// and not empty, else /dev/ttyS0.
PortChoice ChoosePort(const std::optional<std::string> &option);

// The driver library: the option when given (made absolute), else
// $CAMCONSOLE_DRIVER when set and not empty, else the installed library.
DriverChoice ChooseDriver(const std::optional<std::string> &option);

// Makes device port 1 for the whole process. The console's own link and the
// driver library both map port 1 ("COM1") through CAMCONSOLE_PORT1, so the
// choice is passed on by setting that variable in the console's environment;
// the library reads it when CAM_Init is called.
void UsePortDevice(const std::string &device);

// Where a port choice came from, as the port listing and the About box say it.
std::string PortSourceText(ChoiceSource source);
// Where a driver choice came from.
std::string DriverSourceText(ChoiceSource source);
