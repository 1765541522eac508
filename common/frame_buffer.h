#pragma once

#include <cstddef>

// The frame buffer that the driver library fills with the camera's reply to
// "DF" and the console's buffer decoder reads. The driver library's C header
// states the same size for its users and checks it against this one.
inline constexpr std::size_t kFrameBufferSize = 40001;

// The last index the buffer decoder examines as the start of a step. A pixel
// starting there still reads its green and blue bytes, which stay inside the
// buffer.
inline constexpr std::size_t kLastScannedFrameBufferIndex = 34407;
static_assert(kLastScannedFrameBufferIndex + 2 < kFrameBufferSize);
