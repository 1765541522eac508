#pragma once

#include <string>

// Why no file can be written at path, or empty when one can be as far as can
// be told before writing: its folder exists, is a folder and lets this
// process create files in it, and path itself is not a folder. Checked
// before any test runs, so that a run is not wasted on a save that can not
// happen.
std::string OutputPathProblem(const std::string &path);
