#include "send_command.h"

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
std::string DrainFrameDump(const CommandChannel &channel)
{
    channel.status.appendLine("Sending Command & Starting Frame Dump Timer...");
    channel.status.repaintLog();
    const std::int64_t start = channel.ticks.ticksMs();

    PausedReception received = ReceiveUntilPause(channel.com, channel.sleeper, kDrainCycleMs, kDumpReceptionLimit,
                                                 [&channel] { channel.events.processPending(); });

    const std::int64_t elapsed = channel.ticks.ticksMs() - start;
    if (received.cameraNeverPaused)
        channel.status.appendLine("Reception stopped: the camera did not pause");
    channel.status.appendLine("Total Time To Get Frame:" + std::to_string(elapsed));
    channel.status.repaintLog();
    return std::move(received.reply);
}

} // namespace

std::string SendCommand(const CommandChannel &channel, const std::string &command, std::int16_t delay)
{
    try {
        channel.com.setOutput(command + '\r');
        std::string reply;
        if (command == "DF") {
            reply = DrainFrameDump(channel);
        } else {
            channel.sleeper.sleepMs(delay);
            reply = channel.com.input();
        }
        return StartsWithAck(reply) ? reply : kFailureMarker;
    } catch (const LinkError &) {
        channel.status.appendLine("COMPort Error Getting Frame");
        return kFailureMarker;
    }
}
