#pragma once

#include <string>

// The console's own libraries lie in ../lib/camconsole/ beside its
// executable, in the build tree as in an installation: the driver library
// and the parts of the console it loads only when needed (the window, the
// PNG writers), so that a run without a window never loads Qt Widgets, and
// Qt Gui only to write a PNG file.

// The path of fileName in that folder.
std::string ConsoleLibraryPath(const std::string &fileName);

// Loads fileName from that folder (once; it stays loaded) and returns its
// entry named entry. Throws std::runtime_error with the loader's words when
// either is missing.
void *ConsoleLibraryEntry(const std::string &fileName, const char *entry);
