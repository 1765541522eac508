#include "send_command.h"

#include "platform/console_platform.h"
#include "platform/event_pump.h"
#include "platform/status_log.h"
#include "platform/timing.h"
#include "receive_until_pause.h"
#include "serial_link.h"

namespace {

constexpr int kDrainCycleMs = 50;

bool StartsWithAck(const std::string &reply)
{
    return reply.size() >= 3 && reply.compare(0, 3, "ACK") == 0;
}

// Reads the frame dump as it arrives, one read per 50 ms cycle, until a
// cycle in which nothing new arrived, processing window events once a cycle.
std::string DrainFrameDump(ConsolePlatform &p)
{
    p.status.appendLine("Sending Command & Starting Frame Dump Timer...");
    p.status.repaintLog();
    const std::int64_t start = p.ticks.ticksMs();

    PausedReception received
        = ReceiveUntilPause(p.com, p.sleeper, kDrainCycleMs, kDumpReceptionLimit, [&p] { p.events.processPending(); });

    const std::int64_t elapsed = p.ticks.ticksMs() - start;
    if (received.cameraNeverPaused)
        p.status.appendLine("Reception stopped: the camera did not pause");
    p.status.appendLine("Total Time To Get Frame:" + std::to_string(elapsed));
    p.status.repaintLog();
    return std::move(received.reply);
}

} // namespace

std::string SendCommand(ConsolePlatform &p, const std::string &command, std::int16_t delay)
{
    try {
        p.com.setOutput(command + '\r');
        std::string reply;
        if (command == "DF") {
            reply = DrainFrameDump(p);
        } else {
            p.sleeper.sleepMs(delay);
            reply = p.com.input();
        }
        return StartsWithAck(reply) ? reply : kFailureMarker;
    } catch (const LinkError &) {
        p.status.appendLine("COMPort Error Getting Frame");
        return kFailureMarker;
    }
}
