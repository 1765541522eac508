#include "window_on_camsim.h"

#include "qt_app.h"

#include <cstdlib>

WindowOnCamsim::WindowOnCamsim(std::vector<std::string> camsimArgs) : camera(std::move(camsimArgs))
{
    EnsureQtApp();
    setenv("CAMCONSOLE_PORT1", camera.linkPath().c_str(), 1);
    setenv("CAMCONSOLE_DRIVER", TARQIS_LIBRARY, 1);
    form = std::make_unique<Form1>();
    form->setErrorReporter(&errors);
    // The port menu lists no real ports in a test: listing them probes the devices.
    form->setPortSource([] { return std::vector<PortRecord> {}; });
    form->show();
}

WindowOnCamsim::~WindowOnCamsim()
{
    form.reset();
    unsetenv("CAMCONSOLE_PORT1");
    unsetenv("CAMCONSOLE_DRIVER");
}

std::vector<std::string> Masked(const std::vector<std::string> &actual, const std::vector<std::string> &expected)
{
    std::vector<std::string> result;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        std::string line = actual[i];
        const std::string want = i < expected.size() ? expected[i] : std::string();
        if (!want.empty() && want.back() == '#') {
            auto end = line.find_last_not_of("0123456789");
            if (end != std::string::npos && end + 1 < line.size()) {
                if (line[end] == '-')
                    --end;
                line = line.substr(0, end + 1) + "#";
            }
        } else if (!want.empty() && want.back() == '*') {
            const std::string prefix = want.substr(0, want.size() - 1);
            if (line.size() > prefix.size() && line.compare(0, prefix.size(), prefix) == 0)
                line = want;
        }
        result.push_back(line);
    }
    return result;
}
