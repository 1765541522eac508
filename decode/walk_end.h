#pragma once

// How a decoder's walk through the camera's data ended. The decoders return
// it beside what they draw and log, so that a caller can tell a complete
// picture from a cut one, and tell it to their WalkObserver, so that a
// decode can be explained.
enum class WalkEnd {
    NoReply, // the line-mode bitmap only: the reply holds no "ACK", so there was no walk
    NoStart, // the data ended (the buffer variant: passed its last examined index) before any frame start
             // (bitmap marker)
    CutShort, // a frame (the bitmap) started, but the data ended before its end marker(s)
    CutPixel, // the stream variant: a pixel's blue byte lay beyond the reply, nothing drawn for it
    EndMarker, // the walk stopped at the frame's end: the buffer variant at its first end marker, the line-mode
               // walk on two adjacent markers
    EndPassed, // the data ended after the end of the last frame started: the stream variant walks on past end
               // markers; in line mode the second marker was the last byte, which no step examines
};

// True when the walk's last frame (the bitmap) arrived whole.
constexpr bool FrameComplete(WalkEnd end)
{
    return end == WalkEnd::EndMarker || end == WalkEnd::EndPassed;
}
