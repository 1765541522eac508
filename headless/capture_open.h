#pragma once

#include "cli/command_line.h"

// camconsole --open FILE... --expect-frame GOLDEN: judges captured runs
// without a window or a camera, each as a run of --run is judged: its log as
// captured, then its verdict line; returns the exit status a live run with
// the same outcomes would have. A capture that can not be read is a usage
// error (2), said on standard error.
int JudgeCaptures(const CommandLine &commandLine);
