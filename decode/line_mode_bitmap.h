#pragma once

#include "decode/walk_end.h"
#include "platform/picture_surface.h"
#include "platform/status_log.h"
#include "platform/timing.h"
#include "walk_observer.h"

#include <string>
#include <string_view>

// Decoding of the camera's line-mode bitmap (its reply to "TW").
//
// After the first "ACK", everything up to the first marker byte (170,
// binary 10101010) is ignored. After it every other byte carries eight pixels,
// most significant bit leftmost, bit 1 = set. A marker directly after another
// marker ends the bitmap; a single marker between data bytes is skipped. Rows
// are 80 pixels wide and are not separated in the stream. A data byte whose
// value happens to be 170 reads as a marker.

// The eight binary digits of value, most significant first, with leading
// zeros; "" for values outside 0..255.
std::string GetBinary(int value);

// Draws the bitmap of reply: switches the surface to pixel units, finds the
// first "ACK" (without one nothing is drawn and nothing logged), walks from it
// to the second-to-last character (the last is never examined) painting each
// pixel at (x, y) and (x, y + 1), blue when set and black otherwise, two
// surface rows per bitmap row; then appends "Time to display frame: " and the
// seconds the drawing took, read from clock. Returns NoReply without "ACK",
// EndMarker when the walk met two adjacent markers (a second marker that is
// the reply's last character counts, although it is not examined), CutShort
// when it ran to the end after the first marker, NoStart without a marker.
// observer, when given, is told every step (see WalkObserver);
// displaySeconds, when given, receives the drawing time logged.
WalkEnd DrawLineModeBitmap(std::string_view reply, PictureSurface &pic, StatusLog &log, SecondsClock &clock,
                           WalkObserver *observer = nullptr, std::int64_t *displaySeconds = nullptr);
