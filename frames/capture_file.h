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

// Reads the capture at path; where its pixels are not stored, draws them
// again from the reply as the test's decoder did. On failure nullopt and
// *error says why ("it is damaged: ...", or the system's reason).
std::optional<Capture> LoadCapture(const std::string &path, std::string *error = nullptr);

// The pixels the run's decoder draws from its recorded reply: none for a
// reply the test did not hand to its decoder.
DrawnPixels DrawCapturedPixels(const RunAccount &account);

// What the user is told of a capture that can not be opened:
// "Cannot open capture FILE: REASON".
std::string CaptureOpenError(const std::string &path, const std::string &reason);
