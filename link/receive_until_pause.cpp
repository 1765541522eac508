#include "receive_until_pause.h"

#include "platform/timing.h"
#include "serial_link.h"

#include <algorithm>

void ReceiveUntilPause(SerialLink &link, Sleeper &sleeper, TickClock &ticks, std::int64_t sentAtMs, int cycleMs,
                       std::size_t sizeLimit, PausedReception &received, const std::function<void()> &beforeEachRead)
{
    try {
        for (;;) {
            if (beforeEachRead)
                beforeEachRead();
            const std::string bytes = link.input();
            received.reads.push_back({ ticks.ticksMs() - sentAtMs, bytes.size() });
            received.reply += bytes;
            sleeper.sleepMs(cycleMs);
            const int waiting = link.inBufferCount();
            if (waiting <= 0) {
                received.end = ReceptionEnd::Pause;
                received.pauseMs = cycleMs;
                return;
            }
            if (received.reply.size() >= sizeLimit) {
                received.end = ReceptionEnd::SizeLimit;
                received.bytesWaiting = std::max(0, waiting);
                return;
            }
        }
    } catch (const LinkError &) {
        received.end = ReceptionEnd::LinkError;
        throw;
    }
}
