#pragma once

#include "timing.h"

// Sleeps on the calling thread; window events wait until it returns.
class ThreadSleeper final : public Sleeper {
public:
    void sleepMs(int milliseconds) override;
};

// Milliseconds of the system's monotonic clock.
class MonotonicTickClock final : public TickClock {
public:
    std::int64_t ticksMs() override;
};

// Seconds since local midnight, read with their fraction and rounded to the
// nearest whole second (an exact half to the even number).
class LocalSecondsClock final : public SecondsClock {
public:
    SecondsReading now() override;
};

// The rounding that LocalSecondsClock applies to a reading with fraction.
std::int32_t RoundSecondsHalfToEven(double secondsSinceMidnight);
