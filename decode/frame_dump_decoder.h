#pragma once

#include "common/frame_buffer.h"
#include "decode/walk_end.h"
#include "platform/event_pump.h"
#include "platform/picture_surface.h"
#include "platform/status_log.h"
#include "walk_observer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// Decoding of the camera's color frame dump (its reply to "DF").
//
// The dump carries one image column by column:
//   1            start of a frame
//   2            start of the next column (x moves two pixels right, y to 0)
//   3            end of the frame
//   other value  inside a frame: the red byte of a pixel; the next two bytes
//                are its green and blue, whatever their values
// Only the byte where a step starts is tested against 1, 2 and 3. Each camera
// pixel is painted twice side by side, at (x, y) and (x + 1, y), in the color
// red + 256 * green + 65536 * blue. Coordinates are 64-bit; whatever falls
// outside the surface is clipped by the surface.

// Stream variant: decodes the reply text received over the console's own
// link. Positions count from 1 over the whole reply, "ACK" included; pending
// window events are processed before every step (TestCancelled propagates).
// A frame start resets x and y to 0 without clearing, so a second frame paints
// over the first; outside a frame every step costs one extra byte; no step
// starts at the reply's last byte. A pixel whose green or blue byte would lie
// beyond the reply's end is dropped and the decode stops there. The caller
// clears the surface and switches it to pixel units; nothing is logged.
// Returns EndMarker when the last frame started met its end marker (one that
// stands as the reply's last byte counts, although no step starts there),
// CutShort when the reply ended inside that frame, NoStart without a frame.
// observer, when given, is told every step (see WalkObserver).
WalkEnd DecodeFrameStream(std::string_view reply, PictureSurface &pic, EventPump &events,
                          WalkObserver *observer = nullptr);

// Buffer variant: decodes the frame buffer filled by the driver library,
// scanning indices 1 to kLastScannedFrameBufferIndex (index 0 is never
// examined). A frame start clears the surface but keeps x and y; the first
// end marker appends "Image Dump Complete" (no line break) to the log
// and ends the scan; a scan without one ends silently. No window events are
// processed; the caller switches the surface to pixel units. Returns
// EndMarker when the scan met an end marker (and logged it), otherwise
// CutShort after a frame start and NoStart without one. observer, when
// given, is told every step (see WalkObserver).
WalkEnd DecodeFrameBuffer(std::span<const std::uint8_t, kFrameBufferSize> buffer, PictureSurface &pic, StatusLog &log,
                          WalkObserver *observer = nullptr);
