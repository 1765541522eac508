#pragma once

// The marker bytes of the camera's replies, as the console's decoders, the
// driver library and camsim read and write them.
//
// A frame dump ("DF"): a frame starts at 1, each column at 2, the frame ends
// at 3; between them RGB triples. The line-mode bitmap ("TW"): 170
// (10101010) starts it, two adjacent 170s end it.
inline constexpr unsigned char kFrameStart = 1;
inline constexpr unsigned char kColumnStart = 2;
inline constexpr unsigned char kFrameEnd = 3;
inline constexpr unsigned char kBitmapMarker = 170;
