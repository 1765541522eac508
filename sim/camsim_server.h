#pragma once

// camsim's event loop: reads commands from the pty, has the camera answer
// them and writes the replies at the pace ReplyPacer sets (POSIX).

#include "sim/camsim_options.h"

namespace camsim {

// Runs the simulated camera until SIGTERM/SIGINT. Returns the exit status:
// 0 after a signal, 1 on a runtime failure (message on stderr).
int RunCamsim(const Options &options);

} // namespace camsim
