#pragma once

#include "platform/event_pump.h"

#include <QElapsedTimer>

class TestSession;

// Processes the window's pending events from inside a running test.
//
// The stream decoder yields on every byte-step, tens of thousands of times a
// frame; asking the window system each time would cost more than the decode
// itself. So the events are really processed at most once per
// kIntervalMs, which keeps the window just as responsive to a person. When
// the user has asked to close the window, the running test is cancelled here.
class QtEventPump final : public EventPump {
public:
    static constexpr int kIntervalMs = 10;

    explicit QtEventPump(const TestSession &session);
    void processPending() override;

private:
    const TestSession &m_session;
    QElapsedTimer m_sinceLast;
};
