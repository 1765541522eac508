#pragma once

// Starts a program as a child process of a test, the way the console's and
// camsim's launchers need it: standard input from /dev/null, standard output
// and error where asked, and the stop signals at their default dispositions
// and unblocked even when the test runner ignores or blocks them.
//
//   ChildStart start;
//   start.program = CAMSIM_EXECUTABLE;
//   start.args = { "--fast" };
//   start.stderrPath = dir + "/stderr.txt";
//   pid_t pid = -1;
//   const int rc = StartChild(start, pid); // 0, or posix_spawn's error number

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

struct ChildStart {
    std::string program; // a path; also the child's argv[0]
    std::vector<std::string> args;
    // The child's environment; this process's when not given.
    std::optional<std::vector<std::string>> environment;
    // Standard output: duplicated from stdoutFd when it is not -1, else a
    // file created at stdoutPath when given, else this process's.
    int stdoutFd = -1;
    std::string stdoutPath;
    // Standard error: a file created at stderrPath when given.
    std::string stderrPath;
    // The signals set back to their default dispositions in the child.
    std::vector<int> defaultSignals = { SIGTERM, SIGINT };
};

// Starts the child and sets pid to its process id. Returns 0, or the error
// number when it could not be started.
int StartChild(const ChildStart &start, pid_t &pid);
