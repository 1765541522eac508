#pragma once

#include "link/receive_until_pause.h"
#include "link/serial_link.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class EventPump;
class Sleeper;
class StatusLog;
class TickClock;

// What a command exchange works with: the open link it talks over, the wait
// between a command and its reply, the clock that times a frame dump, the log
// it reports to, and the window events it keeps serving during a dump.
struct CommandChannel {
    SerialLink &com;
    Sleeper &sleeper;
    TickClock &ticks;
    StatusLog &status;
    EventPump &events;
};

// What SendCommand returns for a command the camera did not acknowledge.
inline const std::string kFailureMarker = "-1";

// A frame-dump reception ends at this many bytes even if the camera never
// pauses (over seven full frames).
constexpr std::size_t kDumpReceptionLimit = 262144;

// One command and its reply, as the exchange met them.
struct CommandExchange {
    std::string command; // without its CR
    bool sent = false; // the link took the command
    std::int64_t sentAtMs = 0; // the tick clock when it was written
    // The reply's reads ("DF": one per 50 ms cycle; others: the one read
    // after the wait) and how its reception ended; reception.reply is every
    // byte received.
    PausedReception reception;
    bool acknowledged = false; // the reply starts with "ACK"
    // "DF": how long the reception took, as logged.
    std::int64_t receptionMs = 0;
    // The link error that ended the exchange, if one did.
    struct Failure {
        LinkError::Cause cause = LinkError::Cause::Other;
        std::string text;
    };
    std::optional<Failure> linkError;
};

// Sends command followed by CR over the open link and collects the camera's
// reply. "DF" drains the frame dump until a 50 ms pause and logs how long it
// took; any other command waits delay milliseconds and reads once. A link
// error is logged as "COMPort Error Getting Frame" and ends the exchange
// unacknowledged.
CommandExchange ExchangeCommand(const CommandChannel &channel, const std::string &command, std::int16_t delay);

// The exchange as the tests call it: the whole reply when it starts with
// "ACK", else kFailureMarker.
std::string SendCommand(const CommandChannel &channel, const std::string &command, std::int16_t delay);

// True when a reply starts with the camera's acknowledgement "ACK".
bool StartsWithAck(std::string_view reply);
