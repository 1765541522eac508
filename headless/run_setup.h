#pragma once

#include "cli/command_line.h"
#include "headless_journal.h"

#include <optional>
#include <string>

// The checks of a --run command line that need the file system, made before
// any test runs; each gives a usage error's text.

// The frame of --expect-frame, read and checked: a PNG as Save Frame As...
// writes it, of the size of a whole frame of the tests asked for (162 x 143
// for normal and dll, 80 x 286 for binary). Nullopt without the option, or
// with *problem set when the file will not do.
std::optional<ExpectedFrameCheck> ExpectedFrameFor(const CommandLine &commandLine, std::string *problem);

// The first file to save or report whose folder is missing or not writable,
// in words; empty when there is none.
std::string OutputFilesProblem(const CommandLine &commandLine);
