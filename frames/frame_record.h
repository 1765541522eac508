#pragma once

#include "frames/drawn_pixels.h"
#include "link/serial_link.h"
#include "procedures/test_kind.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One read of a reception loop: when it happened, counted from the moment
// the command went out, and how many bytes it brought (possibly none).
struct ReceptionRead {
    std::int64_t msSinceCommand = 0;
    std::size_t bytes = 0;
    bool operator==(const ReceptionRead &) const = default;
};

// How a reception loop stopped reading (direct and line-mode tests).
enum class ReceptionEnd : std::uint8_t {
    Unknown, // no reception loop ran after the command (or it has not ended)
    Pause, // a read cycle in which nothing arrived
    SizeLimit, // the reply reached the loop's size limit with bytes still waiting
    LinkError, // the link failed while the reply arrived
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
    // How the reception of the reply ended: the pause that ended it (the
    // sleep since the last read, in ms), the bytes still waiting at the size
    // limit, or the link's failure (its words are linkFault's text).
    ReceptionEnd receptionEnd = ReceptionEnd::Unknown;
    // How long the test slept between the command and its first read (the
    // line-mode test waits 250 ms): a wait that is the console's, not the camera's.
    std::int64_t sleptBeforeFirstReadMs = 0;
    std::int64_t pauseMs = 0;
    std::int64_t bytesWaiting = 0;
    // How long CAM_DumpFrame took and what it returned (driver test).
    std::optional<std::int64_t> driverCallMs;
    std::optional<std::int32_t> driverResult;

    DrawnPixels pixels;

    // The text the test wrote to the log, and the timings found in it.
    std::string logText;
    std::vector<LoggedTiming> timings;

    // Mostly what a run's verdict on the command line is judged from.
    // Every byte read over the link, the replies before the request included.
    std::size_t bytesReceived = 0;
    // The first link error the test met: its cause, the link's words for it
    // (also those of a reception that ended by a link error), and whether
    // the port was open by then.
    struct LinkFault {
        LinkError::Cause cause = LinkError::Cause::Other;
        std::string text;
        bool afterOpen = false;
    };
    std::optional<LinkFault> linkFault;
    bool portOpened = false;
    // The driver test: what CAM_Init returned (CAM_DumpFrame's result is
    // driverResult above), the first non-empty text CAM_LastError gave, and
    // the loader's text when the library could not be loaded or lacks an
    // entry.
    std::optional<std::int32_t> driverInitResult;
    std::string driverErrorText;
    std::string driverLoadError;
    // The tick clock (ms) at every reading of the seconds clock, so that a
    // timing logged in whole seconds can also be given in milliseconds.
    std::vector<std::int64_t> secondsReadAtMs;
};

// The timings in a log text, in order, by the labels the tests log them with.
std::vector<LoggedTiming> TimingsIn(std::string_view logText);
