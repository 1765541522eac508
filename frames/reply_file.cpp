#include "frames/reply_file.h"

#include "frames/atomic_file.h"

bool WriteReplyFile(const std::string &path, std::string_view bytes, std::string *error)
{
    return WriteFileAtomically(path, bytes, error);
}
