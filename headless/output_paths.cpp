#include "output_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string OutputPathProblem(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return "the folder " + folder + " does not exist (" + std::strerror(errno) + ")";
    if (!S_ISDIR(info.st_mode))
        return folder + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "the folder " + folder + " is not writable (" + std::strerror(errno) + ")";
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return path + " is a folder";
    return {};
}
