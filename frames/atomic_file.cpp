#include "frames/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A name beside path that no other writer picks: the process id and a
// counter, hidden by a leading dot.
std::string TemporaryNameFor(const std::string &path)
{
    static std::atomic<unsigned> counter { 0 };
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Writes into what is at path in place: a device or a pipe (/dev/stdout, say)
// can not be replaced by a rename.
int WriteInPlace(const std::string &path, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int code = WriteAll(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    return code;
}

} // namespace

bool WriteFileAtomically(const std::string &requested, std::string_view bytes, std::string *error)
{
    const auto fail = [error](int code) {
        if (error)
            *error = std::strerror(code);
        return false;
    };
    // A link keeps pointing where it did: the file it names is replaced.
    std::string path = requested;
    if (char *target = ::realpath(requested.c_str(), nullptr)) {
        path = target;
        std::free(target);
    }
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        const int code = WriteInPlace(path, bytes);
        return code == 0 ? true : fail(code);
    }
    // A file the user may not write is not replaced either (as cp refuses
    // it), although the folder would allow the rename.
    if (exists && S_ISREG(info.st_mode) && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return fail(errno);
    const std::string temporary = TemporaryNameFor(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(errno);
    int code = 0;
    if (exists && S_ISREG(info.st_mode)) {
        // The replacement keeps the file's group where the user may give it
        // (and its owner, for root) and its permissions: a private report
        // stays private.
        if (::fchown(fd, static_cast<uid_t>(-1), info.st_gid) != 0
            || ::fchown(fd, info.st_uid, static_cast<gid_t>(-1)) != 0) {
            // Not the user's to give: the new file is the user's, in the
            // user's group.
        }
        if (::fchmod(fd, info.st_mode & 0777U) != 0)
            code = errno;
    }
    if (code == 0 && (!WriteAll(fd, bytes) || ::fsync(fd) != 0))
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(temporary.c_str());
        return fail(code);
    }
    return true;
}
