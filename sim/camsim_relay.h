#pragma once

// camsim's relays: helper processes that move the queued bytes of a reply
// into the pty at the wire's pace (Linux).
//
// A pty hands the console everything written to it at once, so bytes that
// camsim wrote ahead would not stand in for it while it is stopped; they
// must be let out at the wire's pace by something that still runs. The
// relays are that: one per CPU (up to four), each bound to its CPU, so that
// when a machine stops one CPU (and camsim, or one relay, with it) a relay
// on another goes on. They are processes of their own, so a stop of camsim's
// process alone (SIGSTOP) leaves them running too, and they share camsim's
// descriptor table, so closing the pty in camsim closes it for them.
//
// camsim queues bytes in a pipe; a relay moves them with splice(), which
// takes them out of the pipe and into the pty in one step, so the stream
// stays in order whichever relay moves it. The counters, the wire's
// schedule and the relays' notes live in a page of shared memory.

#include "sim/camsim_pacer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace camsim {

// A gap the relays saw in a reply: how long no byte went out while one was
// due, and after how many bytes (counted over all replies).
struct ReplyGap {
    std::chrono::nanoseconds length {};
    std::uint64_t atByte = 0;
};

struct RelayShared;

class Relays {
public:
    Relays() = default;
    ~Relays() { stop(); }
    Relays(const Relays &) = delete;
    Relays &operator=(const Relays &) = delete;

    // Makes the queue and starts the relays; false with `error` set.
    bool start(bool fast, bool realtime, std::string &error);
    // Ends the relays and waits for them.
    void stop();

    // The pty the relays write to; (-1, -1) before it is closed, and
    // ptyClosed() right after.
    void setPty(int master, int slave);
    void ptyClosed();

    // Bytes waiting in the queue.
    std::size_t queued() const;
    // Queues bytes; returns how many went in (the queue may be full).
    std::size_t enqueue(std::string_view bytes);
    // Drops everything queued.
    void discardQueued();
    // Bytes moved into the pty so far, over all replies.
    std::uint64_t delivered() const;

    // The wire starts afresh: the next queued byte goes out at once.
    void restartWire(TimePoint now);
    // Bytes are due to reach the console from `since` on: a gap is counted
    // from then or from the last byte out, whichever is later.
    void setFlowSince(TimePoint since);
    TimePoint flowSince() const;
    TimePoint lastDelivery() const;
    // When a relay saw the console's input arrive, if after `lastRead`
    // (when camsim last finished reading it); clears the note. Then
    // inputRead() once camsim has read the input.
    std::optional<TimePoint> takeInputArrival(TimePoint lastRead);
    void inputRead(TimePoint at);
    // The gaps the relays saw since the last call.
    std::vector<ReplyGap> takeGaps();

private:
    RelayShared *m_shared = nullptr;
    int m_queueRead = -1;
    int m_queueWrite = -1;
    std::vector<pid_t> m_pids;
    std::uint64_t m_gapsRead = 0;
};

} // namespace camsim
