#pragma once

#include <cstddef>
#include <functional>
#include <string>

class SerialLink;
class Sleeper;

struct PausedReception {
    std::string reply;
    // True when the reception ended at the size limit, not at a pause.
    bool cameraNeverPaused = false;
};

// Collects a reply that the camera sends in one go: read what is there,
// sleep one cycle, and go on while new bytes arrived meanwhile; so it ends at
// the first cycle in which nothing arrived. It also ends once the reply holds
// sizeLimit bytes, so a camera that never pauses can not hold the console.
// beforeEachRead runs at the start of every cycle. Link errors are raised.
PausedReception ReceiveUntilPause(SerialLink &link, Sleeper &sleeper, int cycleMs, std::size_t sizeLimit,
                                  const std::function<void()> &beforeEachRead = {});
