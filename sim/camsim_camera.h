#pragma once

// The simulated camera's state machine: what it sends for each command,
// healthy or under a fault. Pure: it only computes the bytes; how fast they
// go out is ReplyPacer's business.

#include "sim/camsim_faults.h"
#include "sim/camsim_picture.h"
#include "sim/camsim_protocol.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

// What camsim sends for one command: `head`, then (when `repeat` is not
// empty) `repeat` over and over, `total` bytes in all. A pause of kPauseMs
// comes before byte `pauseAt`; the pty is closed after `hangupAt` bytes.
// A replayed reply holds its bytes back in pieces: each release lets the
// bytes from `offset` on go no sooner than `after` the command arrived.
struct ReplyPlan {
    static constexpr std::size_t kNever = static_cast<std::size_t>(-1);
    std::string head;
    std::string repeat;
    std::size_t total = 0;
    std::size_t pauseAt = kNever;
    std::size_t hangupAt = kNever;
    struct Release {
        std::size_t offset = 0;
        std::chrono::milliseconds after { 0 };
    };
    std::vector<Release> releases; // in order of offset

    char byteAt(std::size_t offset) const;
    // Bytes [offset, offset + count) clipped to total.
    std::string bytes(std::size_t offset, std::size_t count) const;
    std::string all() const { return bytes(0, total); }
};

// Line mode on/off, and the fault rules with their counters.
class Camera {
public:
    explicit Camera(Pattern pattern = Pattern::Bars, std::vector<FaultRule> faults = {},
                    std::optional<int> faultTimes = std::nullopt);

    // Handles one complete command (without its CR) and returns the reply.
    // Faults apply to the commands the camera accepts (PING, PM 0/1, LM 0/1,
    // DF, and TW in line mode); the first rule in order that names the
    // command's kind, or names no kind, applies while its count lasts. A
    // mode command still takes effect under a fault, except under "nck".
    ReplyPlan handle(std::string_view command);

    bool lineMode() const { return m_lineMode; }

private:
    Pattern m_pattern;
    std::vector<FaultRule> m_faults;
    std::vector<int> m_used;
    std::optional<int> m_faultTimes;
    bool m_lineMode = false;
};

// The reply to an accepted command of the given kind under a fault (or
// none). Exposed so tests can check each fault's bytes.
ReplyPlan PlanReply(CommandKind kind, Pattern pattern, std::optional<FaultMode> fault);

} // namespace camsim
