#pragma once

#include "frames/drawn_pixels.h"
#include "link/serial_link.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The console's three tests.
enum class TestKind { Direct, LineMode, Driver };
inline constexpr std::array<TestKind, 3> kAllTests = { TestKind::Direct, TestKind::LineMode, TestKind::Driver };

// The caption of the test's button: "DF --> Normal (RGB)", "DF --> Binary",
// "DF --> DLL (RGB)".
std::string_view TestCaption(TestKind test);

// One read of a reception loop: when it happened, counted from the moment
// the command went out, and how many bytes it brought (possibly none).
struct ReceptionRead {
    std::int64_t msSinceCommand = 0;
    std::size_t bytes = 0;
    bool operator==(const ReceptionRead &) const = default;
};

// A timing the test wrote to the log: its label and number, and the unit
// the label is known to count in.
struct LoggedTiming {
    std::string label; // as logged, e.g. "Time to Process Frame: "
    std::int64_t value = 0;
    std::string_view unit = "ms"; // "ms" or "s"
    bool operator==(const LoggedTiming &) const = default;
};

// What one run of a test left behind: its raw reply, every pixel its
// decoder drew (unclipped), the reads of its reception and the timings it
// logged. Made by the recording decorators of the platform (recorders.h).
struct FrameRecord {
    TestKind test = TestKind::Direct;
    std::chrono::system_clock::time_point startedAt;
    // The port device the test talked through, or the driver library's path.
    std::string source;

    // True once "DF" or "TW" was sent, or CAM_DumpFrame was called.
    bool requested = false;
    // The "DF" or "TW" reply exactly as received (every read after the
    // command, concatenated), or for the driver test the whole frame buffer
    // as the library left it.
    std::string reply;
    // True once the test went on to decode the reply: the surface was set
    // up for drawing after the request. A direct dump without "ACK" at its
    // start, or a reception or library call that failed, is not decoded.
    bool decoded = false;
    // The reads that brought the reply (direct and line-mode tests).
    std::vector<ReceptionRead> reads;
    // How long CAM_DumpFrame took (driver test).
    std::optional<std::int64_t> driverCallMs;

    DrawnPixels pixels;

    // The text the test wrote to the log, and the timings found in it.
    std::string logText;
    std::vector<LoggedTiming> timings;

    // What a run's verdict on the command line is judged from (the window
    // shows none of it).
    // Every byte read over the link, the replies before the request included.
    std::size_t bytesReceived = 0;
    // The first link error the test met, and whether the port was open by then.
    struct LinkFault {
        LinkError::Cause cause = LinkError::Cause::Other;
        std::string text;
        bool afterOpen = false;
    };
    std::optional<LinkFault> linkFault;
    bool portOpened = false;
    // The driver test: what CAM_Init and CAM_DumpFrame returned, the first
    // non-empty text CAM_LastError gave, and the loader's text when the
    // library could not be loaded or lacks an entry.
    std::optional<std::int32_t> driverInitResult;
    std::optional<std::int32_t> driverDumpResult;
    std::string driverErrorText;
    std::string driverLoadError;
    // The tick clock (ms) at every reading of the seconds clock, so that a
    // timing logged in whole seconds can also be given in milliseconds.
    std::vector<std::int64_t> secondsReadAtMs;
};

// The timings in a log text, in order, by the labels the tests log them with.
std::vector<LoggedTiming> TimingsIn(std::string_view logText);
