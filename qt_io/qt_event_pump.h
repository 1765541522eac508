#pragma once

#include "platform/event_pump.h"

#include <QElapsedTimer>

#include <functional>

// Processes the window's pending events from inside a running test.
//
// The stream decoder yields on every byte-step, tens of thousands of times a
// frame; asking the window system each time would cost more than the decode
// itself. So the events are really processed at most once per
// kIntervalMs, which keeps the window just as responsive to a person. When
// cancelRequested() says so (the user asked to close the window, or a run
// without a window was told to stop), the running test is cancelled here.
class QtEventPump final : public EventPump {
public:
    static constexpr int kIntervalMs = 10;

    explicit QtEventPump(std::function<bool()> cancelRequested);
    void processPending() override;

private:
    std::function<bool()> m_cancelRequested;
    QElapsedTimer m_sinceLast;
};
