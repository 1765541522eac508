#pragma once

#include "frames/frame_record.h"
#include "platform/picture_surface.h"

#include <QString>

#include <cstdint>

// Texts the inspector shows about records and pixels.

// "R 16, G 128, B 240 (#1080F0)"
QString ColorText(ColorValue color);
// "DF --> Normal (RGB), 2024-05-01 14:02:31, port /dev/pts/3"
QString RecordHeading(const FrameRecord &record);
// "Total Time To Get Frame: 3063 ms · Time to Process Frame: 2 ms"
QString TimingsText(const FrameRecord &record);
// A whole number with thousands separated: "34,408".
QString CountText(std::uint64_t value);
