#pragma once

#include "cli/command_line.h"

#include <functional>

// Everything the console does when its command line asks for no window:
// help, version, the port listing and runs of the tests. Needs a
// QCoreApplication and no display. Returns the exit status.
// afterRound, when given, is called after each complete round of a run.
int RunWithoutWindow(const CommandLine &commandLine, const std::function<void(int round)> &afterRound = {});
