#pragma once

#include "console/form1.h"
#include "fakes.h"

#include <memory>
#include <string>
#include <vector>

// The status log's lines as the window shows them now.
std::vector<std::string> LogLines(const Form1 &form);

// The console's window built on a fake serial link and a fake driver, with
// errors recorded instead of shown in a dialog.
struct WindowOnFakes {
    WindowOnFakes();

    FakeSerialLink *com = nullptr;
    FakeCameraDriver *driver = nullptr;
    FakeErrorReporter errors;
    std::unique_ptr<Form1> form;
};
