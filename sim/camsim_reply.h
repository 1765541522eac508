#pragma once

// Everything the simulated camera sends, as plain bytes: its pictures, its
// protocol, its fault modes and its state machine. Pure (no I/O, no
// clocks), so tests of the console can compute exactly what camsim sends
// and which pixels the console should draw.

#include "sim/camsim_camera.h" // IWYU pragma: export
#include "sim/camsim_faults.h" // IWYU pragma: export
#include "sim/camsim_picture.h" // IWYU pragma: export
#include "sim/camsim_protocol.h" // IWYU pragma: export
