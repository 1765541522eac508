#include "camera_choices.h"

#include "common/port_device.h"
#include "driver/driver_library.h"

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

constexpr int kCameraPort = 1;
constexpr const char *kPortVariable = "CAMCONSOLE_PORT1";
constexpr const char *kDriverVariable = "CAMCONSOLE_DRIVER";

struct Setting {
    std::string value;
    ChoiceSource source;
};

// The option when given, else the environment variable when set and not
// empty, else the default, and which of them it was.
Setting ChooseSetting(const std::optional<std::string> &option, const char *variable,
                      const std::function<std::string()> &defaultValue)
{
    if (option)
        return { *option, ChoiceSource::Option };
    if (const char *value = std::getenv(variable); value && *value)
        return { value, ChoiceSource::Environment };
    return { defaultValue(), ChoiceSource::Default };
}

} // namespace

PortChoice ChoosePort(const std::optional<std::string> &option)
{
    Setting port = ChooseSetting(option, kPortVariable, [] { return PortDevicePath(kCameraPort); });
    return { std::move(port.value), port.source };
}

DriverChoice ChooseDriver(const std::optional<std::string> &option)
{
    const Setting driver = ChooseSetting(option, kDriverVariable, [] { return DriverLibrary::DefaultPath(); });
    return { std::filesystem::absolute(driver.value).lexically_normal().string(), driver.source };
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
