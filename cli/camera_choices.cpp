#include "camera_choices.h"

#include "common/port_device.h"
#include "driver/driver_library.h"

#include <cstdlib>
#include <filesystem>

namespace {

constexpr int kCameraPort = 1;
constexpr const char *kPortVariable = "CAMCONSOLE_PORT1";
constexpr const char *kDriverVariable = "CAMCONSOLE_DRIVER";

bool IsSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

} // namespace

PortChoice ChoosePort(const std::optional<std::string> &option)
{
    if (option)
        return { *option, ChoiceSource::Option };
    return { PortDevicePath(kCameraPort), IsSet(kPortVariable) ? ChoiceSource::Environment : ChoiceSource::Default };
}

DriverChoice ChooseDriver(const std::optional<std::string> &option)
{
    if (option)
        return { std::filesystem::absolute(*option).lexically_normal().string(), ChoiceSource::Option };
    return { DriverLibrary::DefaultPath(), IsSet(kDriverVariable) ? ChoiceSource::Environment : ChoiceSource::Default };
}

void UsePortDevice(const std::string &device)
{
    ::setenv(kPortVariable, device.c_str(), 1);
}

std::string PortSourceText(ChoiceSource source)
{
    switch (source) {
    case ChoiceSource::Option:
        return "from --port";
    case ChoiceSource::Environment:
        return std::string("from ") + kPortVariable;
    case ChoiceSource::Default:
        return "the default";
    case ChoiceSource::Menu:
        return "chosen in the console menu";
    }
    return {};
}

std::string DriverSourceText(ChoiceSource source)
{
    switch (source) {
    case ChoiceSource::Option:
        return "from --driver";
    case ChoiceSource::Environment:
        return std::string("from ") + kDriverVariable;
    case ChoiceSource::Default:
        return "the installed default";
    case ChoiceSource::Menu:
        return "chosen in the console menu";
    }
    return {};
}
