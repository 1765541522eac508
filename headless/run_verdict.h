#pragma once

#include "frames/expected_frame.h"
#include "frames/frame_record.h"
#include "headless/exit_status.h"
#include "procedures/test_outcome.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The verdict of one run on the command line: passed, or the cause and the
// reason in a few words, judged from the run's record and its outcome (the
// window's log and the record stay as they are; the verdict only reads them).
struct RunVerdict {
    ExitCause cause = ExitCause::AllSucceeded; // AllSucceeded, CameraFailed or Unreachable
    std::string reason; // empty when passed
    bool frameComplete = false; // the frame's (the bitmap's) end arrived
    bool passed() const { return cause == ExitCause::AllSucceeded; }
};

// The bytes of a full color frame dump's reply: "ACK\r", the frame start, 80
// columns of a column marker and 143 pixels, the end marker and the "\r:"
// prompt.
inline constexpr std::size_t kFullDumpReplyBytes = 34408;

RunVerdict JudgeRun(const FrameRecord &record, TestOutcome outcome);

// Fails a run that passed when its frame differs from the expected one by
// more than maxDiffering camera pixels.
void JudgeAgainstExpected(RunVerdict &verdict, const FrameMismatch &mismatch, std::size_t maxDiffering);

// "camconsole: normal: passed", or with several rounds
// "camconsole: normal, run 2 of 3: failed: the camera did not answer the ping".
std::string VerdictLine(std::string_view test, int round, int rounds, const RunVerdict &verdict);

// A timing the test logged, in milliseconds: the logged number when it
// counts milliseconds; for one logged in whole seconds, the tick clock's
// readings at the seconds clock's readings it came from (the line-mode
// timings read the seconds clock in pairs, one pair per timing).
struct TimingMs {
    std::string label;
    std::int64_t logged = 0;
    std::string unit;
    std::int64_t ms = 0;
};
std::vector<TimingMs> TimingsInMs(const FrameRecord &record);
