#pragma once

#include <string>

// The device of serial port N: $CAMCONSOLE_PORT<N> when set and not empty,
// else /dev/ttyS<N-1>.
std::string PortDevicePath(int port);

// The port number of a name such as "COM1" (case-insensitive); 0 when the
// name is not of that form.
int PortNumberFromName(const char *name);
