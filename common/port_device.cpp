#include "port_device.h"

#include <cctype>
#include <cstdlib>
#include <string>

std::string PortDevicePath(int port)
{
    const std::string variable = "CAMCONSOLE_PORT" + std::to_string(port);
    if (const char *device = std::getenv(variable.c_str()); device && *device)
        return device;
    return "/dev/ttyS" + std::to_string(port - 1);
}

int PortNumberFromName(const char *name)
{
    if (!name)
        return 0;
    if (std::toupper(static_cast<unsigned char>(name[0])) != 'C'
        || std::toupper(static_cast<unsigned char>(name[1])) != 'O'
        || std::toupper(static_cast<unsigned char>(name[2])) != 'M')
        return 0;
    int number = 0;
    const char *digits = name + 3;
    if (!*digits)
        return 0;
    for (const char *p = digits; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p)) || number > 9999)
            return 0;
        number = number * 10 + (*p - '0');
    }
    return number;
}
