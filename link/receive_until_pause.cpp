#include "receive_until_pause.h"

#include "platform/timing.h"
#include "serial_link.h"

PausedReception ReceiveUntilPause(SerialLink &link, Sleeper &sleeper, int cycleMs, std::size_t sizeLimit,
                                  const std::function<void()> &beforeEachRead)
{
    PausedReception result;
    for (;;) {
        if (beforeEachRead)
            beforeEachRead();
        result.reply += link.input();
        sleeper.sleepMs(cycleMs);
        if (link.inBufferCount() <= 0)
            return result;
        if (result.reply.size() >= sizeLimit) {
            result.cameraNeverPaused = true;
            return result;
        }
    }
}
