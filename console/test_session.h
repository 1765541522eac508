#pragma once

// What state the console is in with respect to its tests: whether one is
// running, and whether the user asked to close the window meanwhile.
// Clicks on the test buttons while a test runs are ignored (the buttons stay
// enabled); a close asked for while a test runs waits until the test has
// ended at its next event-processing point.
class TestSession {
public:
    // True when the test may start; false when one is already running.
    bool tryStart();
    void finish();
    bool running() const { return m_running; }

    // Asks to close. True when the window may close now; otherwise the close
    // is remembered and the running test is to be cancelled.
    bool requestClose();
    bool closeRequested() const { return m_closeRequested; }
    // True while a running test should stop at its next event-processing point.
    bool cancelRequested() const { return m_running && m_closeRequested; }

private:
    bool m_running = false;
    bool m_closeRequested = false;
};
