#pragma once

#include "decode/walk_end.h"
#include "run_account.h"
#include "test_outcome.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct CommandExchange;
struct ConsolePlatform;
class LinkError;

// The console's three tests, run by the buttons of the window, and the
// procedures they share. Each test runs from start to end on the calling
// thread, reports through the status log and keeps the account of its run
// as it goes (the one given, else one of its own).
class CameraTests {
public:
    static constexpr int kCameraPort = 1;
    static constexpr int kReceiveBufferSize = 32764;
    static constexpr int kOpenSettleMs = 100;
    // A line-mode capture ends at this many bytes even if the camera never pauses.
    static constexpr std::size_t kLineModeReceptionLimit = 32767;

    explicit CameraTests(ConsolePlatform &platform, RunAccount *account = nullptr);

    // "DF --> Normal (RGB)": a color frame dump over the console's own link.
    void df_nomral_Click();
    // "DF --> Binary": a one-bit line-mode bitmap.
    void df_bin_Click();
    // "DF --> DLL (RGB)": a color frame dump through the driver library.
    void df_dll_Click();

    // How the last of the three tests ended: Succeeded when the direct test's
    // dump was accepted and its frame met the end marker, when the line-mode
    // test's commands were acknowledged and its bitmap ended on two adjacent
    // markers, when the driver's dump returned 1 and the walk of its frame
    // buffer met the end marker after drawing pixels of a frame; Stopped
    // when a port or driver-library error ended the test; Failed otherwise.
    TestOutcome lastOutcome() const { return m_outcome; }
    // The account of the last test's run.
    const RunAccount &account() const { return *m_account; }

    std::string SendCommand(const std::string &command, std::int16_t delay);
    // Captures and draws one line-mode bitmap; returns where its walk ended.
    WalkEnd LineModeFrame();

private:
    void begin(TestKind test);
    CommandExchange exchange(const std::string &command, std::int16_t delay);
    void logTiming(const std::string &name, const char *separator, std::int64_t logged, std::int64_t ms,
                   std::string_view unit = "ms");
    void resetLog(const std::string &message);
    void walkUndrawnReply();
    void runOnCameraPort(const std::function<void()> &steps);
    void reportPortError(const LinkError &error);

    ConsolePlatform &m_platform;
    RunAccount m_ownAccount;
    RunAccount *m_account;
    bool m_logReset = false;
    TestOutcome m_outcome = TestOutcome::Failed;
};
