#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace {

std::vector<char *> Pointers(std::vector<std::string> &texts)
{
    std::vector<char *> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string &text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

int StartChild(const ChildStart &start, pid_t &pid)
{
    std::vector<std::string> argv = { start.program };
    argv.insert(argv.end(), start.args.begin(), start.args.end());
    std::vector<char *> cargv = Pointers(argv);
    std::vector<std::string> env = start.environment.value_or(std::vector<std::string> {});
    std::vector<char *> cenv = Pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (start.stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, start.stdoutFd, STDOUT_FILENO);
    else if (!start.stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, start.stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!start.stderrPath.empty())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, start.stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : start.defaultSignals)
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int rc = ::posix_spawn(&pid, start.program.c_str(), &actions, &attr, cargv.data(),
                                 start.environment ? cenv.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc;
}
