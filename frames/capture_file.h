#pragma once

#include "frames/capture_format.h"

#include <memory>
#include <optional>
#include <string>

// Captures as files: a record saved whole (Save Run As..., --save-run) and
// read back with its pictures (the inspector's Open..., --open).

// Writes the record as a capture at path, atomically (WriteFileAtomically);
// consoleVersion is the saving camconsole's. The drawn pixels are stored
// only where the decoder, run again on the reply, would not draw the same
// (a run stopped in the middle of its walk). False with *error on failure.
bool SaveCapture(const std::string &path, const FrameRecord &record, const std::string &consoleVersion,
                 std::string *error = nullptr);

// Reads the capture at path with its walk, made again from the reply by the
// test's decoder, and its pixels, drawn again from the walk where they are
// not stored. On failure nullopt and *error says why ("it is damaged: ...",
// or the system's reason).
std::optional<Capture> LoadCapture(const std::string &path, std::string *error = nullptr);

// The walk the run's test recorded, made again from its reply: the decoder
// walks the same bytes the same way every time, so a capture does not store
// it. None for a reply the test neither decoded nor walked.
void WalkReplyAgain(RunAccount &account);
// The pixels a walk leaves on the picture, each camera pixel on its two
// surface pixels.
DrawnPixels DrawnPixelsOf(const ReplyWalk &walk);
// The pixels the run's test drew, from its walk: none for a reply the test
// did not hand to its decoder.
DrawnPixels DrawCapturedPixels(const RunAccount &account);

// What the user is told of a capture that can not be opened:
// "Cannot open capture FILE: REASON".
std::string CaptureOpenError(const std::string &path, const std::string &reason);
