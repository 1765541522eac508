#pragma once

#include "fakes.h"
#include "platform/console_platform.h"

// A complete set of fakes wired into a ConsolePlatform.
struct FakePlatform {
    FakeStatusLog status;
    RecordingSurface pic;
    FakeTime time;
    FakeSerialLink com { time };
    FakeEventPump events;
    FakeErrorReporter errors;
    FakeCameraDriver driver;
    FakePortAdvisor advisor;
    ConsolePlatform platform { status, pic, com, time, time, time, events, errors, driver, advisor };
};
