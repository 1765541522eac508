#pragma once

#include "frames/frame_record.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The wire's pace: 115200 baud, ten bits a byte.
inline constexpr double kWireBytesPerSecond = 11520.0;

// How a reply arrived, from the reads of its reception loop.
struct ReceptionFigures {
    std::size_t reads = 0;
    std::size_t bytes = 0;
    // When the read that brought the first bytes happened, and how many it
    // brought: the wait before the first byte is the console's as much as
    // the camera's (the line-mode test sleeps 250 ms before its first read).
    std::int64_t firstBytesMs = 0;
    std::size_t firstReadBytes = 0;
    // When the read that brought the last bytes happened (0 without bytes).
    std::int64_t lastBytesMs = 0;
    // bytes per second while they arrived: those after the first read that
    // brought any, over the time from that read to the last; 0 when all came
    // in one read.
    double arrivalBytesPerSecond = 0;
    // bytes per second up to that read; 0 when it is unknown (no bytes, or
    // all of them in a read at the command's own millisecond).
    double effectiveBytesPerSecond = 0;
    // The longest stretch without new bytes, from the command or from a read
    // that brought bytes to the next read that brought bytes, and when it
    // ended (of equal gaps, the first). The loop reads once a cycle, so a
    // steady stream shows gaps of one cycle.
    std::int64_t longestGapMs = 0;
    std::int64_t longestGapEndsMs = 0;
};

ReceptionFigures FiguresOf(const std::vector<ReceptionRead> &reads);
