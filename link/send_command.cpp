#include "send_command.h"

#include "platform/event_pump.h"
#include "platform/status_log.h"
#include "platform/timing.h"
#include "receive_until_pause.h"
#include "serial_link.h"

namespace {

constexpr int kDrainCycleMs = 50;

// Reads the frame dump as it arrives, one read per 50 ms cycle, until a
// cycle in which nothing new arrived, processing window events once a cycle.
void DrainFrameDump(const CommandChannel &channel, CommandExchange &exchange)
{
    channel.status.appendLine("Sending Command & Starting Frame Dump Timer...");
    channel.status.repaintLog();
    const std::int64_t start = channel.ticks.ticksMs();

    ReceiveUntilPause(channel.com, channel.sleeper, channel.ticks, exchange.sentAtMs, kDrainCycleMs,
                      kDumpReceptionLimit, exchange.reception, [&channel] { channel.events.processPending(); });

    exchange.receptionMs = channel.ticks.ticksMs() - start;
    if (exchange.reception.end == ReceptionEnd::SizeLimit)
        channel.status.appendLine("Reception stopped: the camera did not pause");
    channel.status.appendLine("Total Time To Get Frame:" + std::to_string(exchange.receptionMs));
    channel.status.repaintLog();
}

} // namespace

bool StartsWithAck(std::string_view reply)
{
    return reply.starts_with("ACK");
}

CommandExchange ExchangeCommand(const CommandChannel &channel, const std::string &command, std::int16_t delay)
{
    CommandExchange exchange;
    exchange.command = command;
    try {
        exchange.sentAtMs = channel.ticks.ticksMs();
        channel.com.setOutput(command + '\r');
        exchange.sent = true;
        if (command == "DF") {
            DrainFrameDump(channel, exchange);
        } else {
            channel.sleeper.sleepMs(delay);
            exchange.reception.reply = channel.com.input();
            exchange.reception.reads.push_back(
                { channel.ticks.ticksMs() - exchange.sentAtMs, exchange.reception.reply.size() });
        }
        exchange.acknowledged = StartsWithAck(exchange.reception.reply);
    } catch (const LinkError &error) {
        channel.status.appendLine("COMPort Error Getting Frame");
        exchange.linkError = CommandExchange::Failure { error.cause(), error.what() };
    }
    return exchange;
}

std::string SendCommand(const CommandChannel &channel, const std::string &command, std::int16_t delay)
{
    CommandExchange exchange = ExchangeCommand(channel, command, delay);
    if (!exchange.acknowledged)
        return kFailureMarker;
    return std::move(exchange.reception.reply);
}
