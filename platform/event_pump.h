#pragma once

#include <stdexcept>

// Thrown out of processPending() when the user asked to close the window
// while a test runs: the test unwinds, its port is closed, then the window
// closes.
class TestCancelled : public std::runtime_error {
public:
    TestCancelled() : std::runtime_error("test cancelled") {}
};

// Processes pending window events from inside a running test.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processPending() = 0;
};
