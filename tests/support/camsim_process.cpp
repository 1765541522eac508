#include "camsim_process.h"

#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string MakeTempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/camsim-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("CamsimProcess: mkdtemp failed: ") + std::strerror(errno));
    return pattern;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

CamsimProcess::CamsimProcess(std::vector<std::string> more)
{
    m_dir = MakeTempDir();
    try {
        // The console gives the camera fixed waits and takes a 50 ms pause
        // for the end of a reply; on a machine busy with other work a
        // simulated camera that waits for the CPU misses them, as a real one
        // never would. So camsim asks for real-time scheduling.
        std::vector<std::string> args = { "--realtime", "--link", linkPath(), "--log", m_dir + "/commands.log" };
        args.insert(args.end(), more.begin(), more.end());

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("CamsimProcess: pipe failed: ") + std::strerror(errno));
        m_stdoutFd = fds[0];

        ChildStart start;
        start.program = CAMSIM_EXECUTABLE;
        start.args = std::move(args);
        start.stdoutFd = fds[1];
        start.stderrPath = m_dir + "/stderr.txt";
        start.defaultSignals.push_back(SIGPIPE);
        const int rc = StartChild(start, m_pid);
        ::close(fds[1]);
        if (rc != 0) {
            m_pid = -1;
            throw std::runtime_error(std::string("CamsimProcess: cannot start " CAMSIM_EXECUTABLE ": ")
                                     + std::strerror(rc));
        }

        m_devicePath = readLine(kGenerousTimeout);
        if (m_devicePath.empty()) {
            const int status = stop();
            throw std::runtime_error("CamsimProcess: camsim did not report its device (exit status "
                                     + std::to_string(status) + "); stderr: " + stderrText());
        }
    } catch (...) {
        stop();
        if (m_stdoutFd >= 0)
            ::close(m_stdoutFd);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        throw;
    }
}

CamsimProcess::~CamsimProcess()
{
    stop();
    if (m_stdoutFd >= 0)
        ::close(m_stdoutFd);
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

std::string CamsimProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto nl = m_stdoutBuffer.find('\n'); nl != std::string::npos) {
            std::string line = m_stdoutBuffer.substr(0, nl);
            m_stdoutBuffer.erase(0, nl + 1);
            return line;
        }
        if (m_stdoutFd < 0)
            return {};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return {};
        pollfd pfd { m_stdoutFd, POLLIN, 0 };
        const int n = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        char buf[512];
        const ssize_t got = ::read(m_stdoutFd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) { // camsim closed its stdout: it has ended
            ::close(m_stdoutFd);
            m_stdoutFd = -1;
            continue;
        }
        m_stdoutBuffer.append(buf, static_cast<std::size_t>(got));
    }
}

std::string CamsimProcess::nextDevicePath(std::chrono::milliseconds timeout)
{
    return readLine(timeout);
}

std::vector<std::string> CamsimProcess::receivedCommands() const
{
    std::vector<std::string> commands;
    const std::string text = ReadFile(m_dir + "/commands.log");
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        commands.push_back(text.substr(start, nl - start));
    return commands; // a line still being written (no '\n' yet) is left out
}

bool CamsimProcess::waitForCommands(std::size_t n, std::chrono::milliseconds timeout) const
{
    return WaitUntil([&] { return receivedCommands().size() >= n; }, timeout);
}

int CamsimProcess::stop()
{
    if (m_pid <= 0 || m_exited)
        return m_exitStatus;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + 3000ms;
    pid_t done = 0;
    while ((done = ::waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    if (done == 0) {
        ::kill(m_pid, SIGKILL);
        while ((done = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {}
    }
    m_exited = true;
    m_exitStatus = (done == m_pid && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return m_exitStatus;
}

std::string CamsimProcess::stderrText() const
{
    return ReadFile(m_dir + "/stderr.txt");
}
