#include "kept_run.h"

#include "frames/atomic_file.h"
#include "reports.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The most names tried with a number after them before giving up.
constexpr int kMostNumberedNames = 1000;

} // namespace

void KeptRun::add(std::string suffix, std::string bytes)
{
    add(std::move(suffix), [bytes = std::move(bytes)](const std::string &path, std::string &error) {
        return WriteFileAtomically(path, bytes, &error);
    });
}

void KeptRun::add(std::string suffix, Writer writer)
{
    m_files.emplace_back(std::move(suffix), std::move(writer));
}

KeptRun::Written KeptRun::write(const std::string &folder, const std::string &name) const
{
    Written written;
    if (m_files.empty())
        return written;
    // Claims a name: every file created empty, exclusively, or none.
    std::string base;
    for (int n = 1; n <= kMostNumberedNames && base.empty(); ++n) {
        std::string candidate = folder;
        candidate += '/';
        candidate += name;
        if (n > 1)
            candidate += "-" + std::to_string(n);
        std::vector<std::string> claimed;
        int error = 0;
        for (const auto &file : m_files) {
            const std::string path = candidate + file.first;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                error = errno;
                break;
            }
            ::close(fd);
            claimed.push_back(path);
        }
        if (claimed.size() == m_files.size()) {
            base = candidate;
            break;
        }
        for (const std::string &path : claimed)
            ::unlink(path.c_str());
        if (error != EEXIST) {
            written.failed.emplace_back(candidate + m_files[claimed.size()].first, std::strerror(error));
            return written;
        }
    }
    if (base.empty()) {
        written.failed.emplace_back(folder + "/" + name + m_files.front().first, std::strerror(EEXIST));
        return written;
    }
    for (const auto &[suffix, writer] : m_files) {
        const std::string path = base + suffix;
        std::string error;
        if (writer(path, error)) {
            written.files.push_back(path);
        } else {
            ::unlink(path.c_str()); // the empty file that claimed the name, or what a failed write left
            written.failed.emplace_back(path, error);
        }
    }
    return written;
}

std::string KeptRunName(const std::string &unit, const std::string &test, int round,
                        std::chrono::system_clock::time_point start)
{
    std::string name = unit;
    for (char &c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
            || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    if (name.empty() || name.front() == '.')
        name.insert(0, "_");
    return name + "-" + test + "-run" + std::to_string(round) + "-" + LocalFileTime(start);
}
