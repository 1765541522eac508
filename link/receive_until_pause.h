#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SerialLink;
class Sleeper;
class TickClock;

// One read of a reception loop: when it happened, counted from the moment
// the command went out, and how many bytes it brought (possibly none).
struct ReceptionRead {
    std::int64_t msSinceCommand = 0;
    std::size_t bytes = 0;
    bool operator==(const ReceptionRead &) const = default;
};

// How a reception loop stopped reading.
enum class ReceptionEnd : std::uint8_t {
    Unknown, // no reception loop ran after the command (or it has not ended)
    Pause, // a read cycle in which nothing arrived
    SizeLimit, // the reply reached the loop's size limit with bytes still waiting
    LinkError, // the link failed while the reply arrived
};

// A reply collected by ReceiveUntilPause, with every read and how the
// reception ended; filled as it goes, so a reception cut by a link error
// keeps what arrived before it.
struct PausedReception {
    std::string reply;
    std::vector<ReceptionRead> reads;
    ReceptionEnd end = ReceptionEnd::Unknown;
    // The pause that ended it: the cycle slept after the last read.
    std::int64_t pauseMs = 0;
    // The bytes still waiting when the size limit ended it.
    std::int64_t bytesWaiting = 0;
    // The console's own wait between the command and the first read.
    std::int64_t waitedBeforeFirstReadMs = 0;
};

// Collects a reply that the camera sends in one go: read what is there,
// sleep one cycle, and go on while new bytes arrived meanwhile; so it ends at
// the first cycle in which nothing arrived. It also ends once the reply holds
// sizeLimit bytes, so a camera that never pauses can not hold the console.
// beforeEachRead runs at the start of every cycle. Reads are timed from
// sentAtMs on ticks. A link error is noted in received and raised.
void ReceiveUntilPause(SerialLink &link, Sleeper &sleeper, TickClock &ticks, std::int64_t sentAtMs, int cycleMs,
                       std::size_t sizeLimit, PausedReception &received,
                       const std::function<void()> &beforeEachRead = {});
