#pragma once

// Where a decoder's walk through the camera's data ended. The decoders return
// it beside what they draw and log, so that a caller can tell a complete
// picture from a cut one.
enum class WalkEnd {
    NoReply, // the line-mode bitmap only: the reply holds no "ACK", so there was no walk
    NoStart, // no frame start (no bitmap marker) was met
    CutShort, // a frame (the bitmap) started, but the data ended before its end marker(s)
    EndMarker, // the end marker of the last frame started (the two adjacent markers) arrived
};
