#include "frames/reply_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool WriteReplyFile(const std::string &path, std::string_view bytes, std::string *error)
{
    const auto fail = [error](int code) {
        if (error)
            *error = std::strerror(code);
        return false;
    };
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return fail(errno);
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0)
        return fail(errno);
    if (!written)
        return fail(writeError);
    return true;
}
