#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class EventPump;
class SerialLink;
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

// Sends command followed by CR over the open link and returns the camera's
// whole reply when it starts with "ACK", else kFailureMarker. "DF" drains
// the frame dump until a 50 ms pause and logs how long it took; any other
// command waits delay milliseconds and reads once. A link error is logged
// as "COMPort Error Getting Frame" and reported as kFailureMarker.
std::string SendCommand(const CommandChannel &channel, const std::string &command, std::int16_t delay);
