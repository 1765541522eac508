#pragma once

#include <string>
#include <string_view>

// Writes bytes as the whole content of the file at path, atomically: into a
// new file beside it, flushed to the disk, then renamed over path. A failed
// write (a full disk, say) leaves an earlier file at path as it was and no
// temporary file behind. A file the user may not write (mode 0444, say) is
// refused with "Permission denied", as cp refuses it; a replaced file keeps
// its permissions (and its owner and group where the user may give them), a
// new one gets those of a plain create (0666 less the umask). A symbolic link at path stays: the file
// it names is replaced. What is neither a file nor a folder (a device, a
// pipe) can not be replaced and is written in place. On failure returns false and sets *error
// (when given) to the system's reason.
bool WriteFileAtomically(const std::string &path, std::string_view bytes, std::string *error = nullptr);
