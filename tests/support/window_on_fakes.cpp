#include "window_on_fakes.h"

#include "console/status_box.h"
#include "qt_app.h"

std::vector<std::string> LogLines(const Form1 &form)
{
    return SplitLogLines(form.status->logText());
}

WindowOnFakes::WindowOnFakes()
{
    EnsureQtApp();
    auto link = std::make_unique<FakeSerialLink>();
    auto fakeDriver = std::make_unique<FakeCameraDriver>();
    com = link.get();
    driver = fakeDriver.get();
    form = std::make_unique<Form1>(std::move(link), std::move(fakeDriver));
    form->setErrorReporter(&errors);
    // The port menu lists no real ports in a test: listing them probes the devices.
    form->setPortSource([] { return std::vector<PortRecord> {}; });
}
