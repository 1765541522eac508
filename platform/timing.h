#pragma once

#include <cstdint>

// Waits a number of milliseconds without running any window events.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleepMs(int milliseconds) = 0;
};

// A monotonic millisecond counter; only differences of two readings mean
// anything. 64 bits wide, so a difference never overflows.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual std::int64_t ticksMs() = 0;
};

// One reading of the seconds clock: whole seconds since local midnight
// (rounded half to even) and the local date it was taken on, as a day number.
struct SecondsReading {
    std::int64_t day = 0;
    std::int32_t seconds = 0;
};

// Seconds between two readings; a run that spans midnight counts 86,400
// seconds for every date change instead of going negative.
constexpr std::int64_t SecondsBetween(const SecondsReading &from, const SecondsReading &to)
{
    return static_cast<std::int64_t>(to.seconds) - from.seconds + 86400 * (to.day - from.day);
}

class SecondsClock {
public:
    virtual ~SecondsClock() = default;
    virtual SecondsReading now() = 0;
};
