#pragma once

#include <string>
#include <string_view>

// Writes bytes to the file at path exactly as they are, nothing added,
// replacing what was there only once the whole file is written (a failed
// write leaves an earlier file as it was). On failure returns false and sets *error (when
// given) to the system's reason.
bool WriteReplyFile(const std::string &path, std::string_view bytes, std::string *error = nullptr);
