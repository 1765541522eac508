#include "console_process.h"

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

#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// This process's environment without any display.
std::vector<std::string> EnvironmentWithoutDisplay()
{
    std::vector<std::string> env;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM")
            env.push_back(text);
    }
    return env;
}

} // namespace

ConsoleProcess::ConsoleProcess(std::vector<std::string> args, std::vector<std::string> environment)
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/camconsole-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("ConsoleProcess: mkdtemp failed: ") + std::strerror(errno));
    m_dir = pattern;

    ChildStart start;
    start.program = CAMCONSOLE_EXECUTABLE;
    start.args = std::move(args);
    start.environment = EnvironmentWithoutDisplay();
    start.environment->insert(start.environment->end(), environment.begin(), environment.end());
    start.stdoutPath = pathFor("stdout.txt");
    start.stderrPath = pathFor("stderr.txt");
    const int rc = StartChild(start, m_pid);
    if (rc != 0) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        throw std::runtime_error(std::string("ConsoleProcess: cannot start " CAMCONSOLE_EXECUTABLE ": ")
                                 + std::strerror(rc));
    }
}

ConsoleProcess::~ConsoleProcess()
{
    if (!m_ended) {
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {}
    }
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

bool ConsoleProcess::exited(int *status)
{
    if (m_ended) {
        *status = m_status;
        return true;
    }
    int raw = 0;
    if (::waitpid(m_pid, &raw, WNOHANG) != m_pid)
        return false;
    m_ended = true;
    m_status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    m_signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
    *status = m_status;
    return true;
}

int ConsoleProcess::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    int status = -1;
    while (!exited(&status)) {
        if (Clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {}
            m_ended = true;
            m_status = -1;
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return status;
}

bool ConsoleProcess::waitForOutput(const std::string &text, std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (out().find(text) != std::string::npos)
            return true;
        siginfo_t info {};
        // WNOWAIT: look without reaping, so wait() still gets the status.
        const bool running = !m_ended
            && ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
        if (!running || Clock::now() >= deadline)
            return out().find(text) != std::string::npos;
        std::this_thread::sleep_for(5ms);
    }
}

void ConsoleProcess::signal(int signal) const
{
    if (!m_ended)
        ::kill(m_pid, signal);
}

std::string ConsoleProcess::out() const
{
    return ReadFile(m_dir + "/stdout.txt");
}

std::string ConsoleProcess::err() const
{
    return ReadFile(m_dir + "/stderr.txt");
}

std::vector<std::string> OutputLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}
