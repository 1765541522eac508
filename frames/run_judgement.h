#pragma once

#include "frames/drawn_pixels.h"
#include "frames/frame_record.h"

#include <string>
#include <string_view>
#include <vector>

// The one judgement of a recorded run, read from its account: the verdict
// (passed, failed, or the port or driver could not be used, with its reason
// in a few words) that the verdict line, the exit status and the reports
// give, and the first line of its inspector page. Both follow the way the
// test said the run ended.

struct Verdict {
    enum class Result { Passed, Failed, Unreachable };
    Result result = Result::Passed;
    std::string reason; // empty when passed
    bool frameComplete = false; // the frame's (the bitmap's) end arrived and, for the driver, was drawn
    bool passed() const { return result == Result::Passed; }
};

Verdict JudgeRun(const FrameRecord &record);

// "camconsole: normal: passed", or with several rounds
// "camconsole: normal, run 2 of 3: failed: the camera did not answer the ping".
std::string VerdictLine(std::string_view test, int round, int rounds, const Verdict &verdict);

// One line for each way a run can end, e.g. "Complete frame: 80 columns of
// 143 rows, end marker at 34,405" or "Link error after 17,204 bytes: ...".
// Read from the walk the record holds, if any.
std::string OutcomeLine(const FrameRecord &record);

// Why the reception stopped: "no byte for 50 ms", "a link error (...)", ...;
// empty when the record does not say.
std::string ReceptionEndText(const FrameRecord &record);

// How the reply arrived, a line each: the bytes and reads, the wait before
// the first bytes, the rate while they arrived, the longest gap and why the
// reception ended (for the driver test: the library's call as a whole).
std::vector<std::string> ReceptionLines(const FrameRecord &record);
