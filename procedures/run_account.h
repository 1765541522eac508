#pragma once

#include "decode/reply_walk.h"
#include "decode/walk_end.h"
#include "link/receive_until_pause.h"
#include "link/serial_link.h"
#include "procedures/test_kind.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a run of a test ended: one classification, made by the test as it
// ends, that every verdict, page and report reads.
enum class RunEnd : std::uint8_t {
    Complete, // the frame (bitmap) arrived whole and was drawn
    PortUnusable, // the port could not be opened (the driver library said so of its port)
    DriverUnusable, // the driver library could not be loaded or lacks an entry
    LinkLost, // the link failed after the port was open
    NotAnswered, // nothing came back to failedCommand
    NotAcknowledged, // the reply to failedCommand did not start with "ACK"
    NeverPaused, // the reply reached the reception's size limit before its end
    Incomplete, // the reply (the frame buffer) ended before the frame's end
    DumpFailed, // CAM_DumpFrame did not return 1
    NothingDrawn, // the frame's end came before anything was drawn
    Cancelled, // the window closed, or a run without one was told to stop
};

// A timing the test logged: its name (the log's label without its
// punctuation), the number logged and its unit, and the same span in ms.
struct RunTiming {
    std::string name;
    std::int64_t ms = 0;
    std::int64_t logged = 0;
    std::string_view unit = "ms"; // "ms" or "s"
    bool operator==(const RunTiming &) const = default;
};

// The driver library's entries as the account names them.
enum class DriverEntry : std::uint8_t { Init, Ping, DumpFrame, ClosePort };

// The account of one run, written by the test as each fact becomes known:
// what it sent and received, how the reception ended, what the decoder met,
// what the driver returned, its timings and how it ended.
struct RunAccount {
    TestKind test = TestKind::Direct;
    RunEnd end = RunEnd::Incomplete;

    // The link: whether the port was opened, the first link error the test
    // met (its cause and the link's words, and whether the port was open by
    // then), and every command sent: when (tick clock), the bytes of its
    // reply and whether it was acknowledged.
    bool portOpened = false;
    struct LinkFault {
        LinkError::Cause cause = LinkError::Cause::Other;
        std::string text;
        bool afterOpen = false;
        bool operator==(const LinkFault &) const = default;
    };
    std::optional<LinkFault> linkFault;
    struct SentCommand {
        std::string command;
        std::int64_t sentAtMs = 0;
        std::size_t replyBytes = 0;
        bool acknowledged = false;
        bool operator==(const SentCommand &) const = default;
    };
    std::vector<SentCommand> commands;
    // The ping ("" sent): whether it was acknowledged; nullopt when not sent.
    std::optional<bool> pingAnswered;
    // The command whose reply ended the run (NotAnswered, NotAcknowledged).
    std::string failedCommand;

    // The request ("DF", "TW" or CAM_DumpFrame): whether it was made, when
    // (tick clock), and its reply exactly as received (for the driver test
    // the whole frame buffer as the library left it).
    bool requested = false;
    std::int64_t requestedAtMs = 0;
    std::string reply;
    // The reads that brought the reply and how its reception ended (direct
    // and line-mode tests); the console's wait before the first read.
    std::vector<ReceptionRead> reads;
    ReceptionEnd receptionEnd = ReceptionEnd::Unknown;
    std::int64_t pauseMs = 0;
    std::int64_t bytesWaiting = 0;
    std::int64_t sleptBeforeFirstReadMs = 0;

    // The decoder: whether the test handed the reply to it, how its walk
    // ended and whether it drew a pixel of the last frame started. The walk
    // itself, recorded as the decoder drew: what it made of every byte and
    // where each pixel came from. A reply that a link error cut is not drawn,
    // but its walk is recorded all the same (WalksUndrawnReply), to show
    // what came.
    bool decoded = false;
    std::optional<WalkEnd> walkEnd;
    bool drewAny = false;
    std::optional<ReplyWalk> walk;

    // The driver test: how long CAM_DumpFrame took and what it returned, the
    // bytes it filled (up to the last that is not zero), the first non-empty
    // text CAM_LastError gave and the entry it followed, and the loader's
    // text when the library could not be loaded or lacks an entry.
    std::optional<std::int64_t> driverCallMs;
    std::optional<std::int32_t> driverResult;
    std::size_t driverBytesFilled = 0;
    std::string driverErrorText;
    std::optional<DriverEntry> driverErrorAfter;
    std::string driverLoadError;
    bool driverEntryMissing = false; // the library loaded, but lacks an entry

    std::vector<RunTiming> timings;

    // Notes a link error, keeping the first.
    void noteLinkError(LinkError::Cause cause, const std::string &text);
    // Takes the reads and the end of the request's reception.
    void noteReception(const PausedReception &reception);
    // Takes how the decoder's walk ended and the walk it recorded, with
    // whether it drew a pixel of the last frame started.
    void noteWalk(WalkEnd end, WalkRecorder &recorder);

    bool operator==(const RunAccount &) const = default;
};

// Whether a run's reply was cut by a link error before its test could draw
// it, and is walked without drawing: a direct dump only when it starts with
// "ACK", as one that was refused would not have been drawn either.
bool WalksUndrawnReply(const RunAccount &account);
