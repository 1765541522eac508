#pragma once

#include "frames/frame_record.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A capture: one run kept whole in a file that opens anywhere (the
// inspector's Open..., camconsole --open) and that camsim --replay plays
// back. The bytes are described in docs/capture-format.md: a magic, a
// version and length-checked sections, the reply stored as it came.

inline constexpr std::string_view kCaptureMagic = "CAMCAPT\n";
inline constexpr std::uint16_t kCaptureVersion = 1;
// No capture is larger: a reply is cut at the reception's limit (256 KiB
// and the read that passed it) far below this. A file above it is refused
// before it is read whole, so a forged reply can not make the inspector walk
// more than this.
inline constexpr std::size_t kMaxCaptureBytes = 4u << 20;

struct Capture {
    FrameRecord record;
    std::string consoleVersion; // the camconsole that saved it
    std::chrono::system_clock::time_point savedAt;
    // True when the file held the pixels drawn; otherwise they are drawn
    // again from the reply's walk (capture_file.h's DrawCapturedPixels).
    bool pixelsStored = false;
};

// The capture's bytes. storePixels: write the record's drawn pixels too
// (they are left out where the decoder draws the same from the reply).
std::string EncodeCapture(const Capture &capture, bool storePixels);

// Reads a capture's bytes; on failure nullopt and *error says why in words
// for the user ("it is not a camconsole capture", "it was written by a newer
// camconsole ...", "it is damaged: ..."). Never reads past the bytes and
// never reserves more than the bytes could hold. The pixels are as stored
// (empty when not stored).
std::optional<Capture> DecodeCapture(std::string_view bytes, std::string *error);
