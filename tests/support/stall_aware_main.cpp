// main() of every test program. It runs the tests as GoogleTest's own main()
// does, with one addition: every camsim started meanwhile (by the tests, or
// by the programs they start) appends its stall reports to a file named by
// CAMSIM_STALL_LOG. When tests failed and camsim reported that the machine
// did not run it for a while (a loaded virtual machine stops a CPU for about
// 100 ms at times), the failure says nothing about the console: the output
// says so, and the failed tests run again, at most twice. A failure with no
// stall is final at once. Tests that failed beside a stall three times are
// inconclusive: exit status 77, which CTest shows as skipped, never as a
// failure of the console.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kAttempts = 3;
constexpr int kInconclusive = 77;
constexpr const char *kAttemptVariable = "CAMCONSOLE_TEST_ATTEMPT";

class FailedTests : public ::testing::EmptyTestEventListener {
public:
    std::string names; // "Suite.Name:Suite.Other"

private:
    void OnTestEnd(const ::testing::TestInfo &test) override
    {
        if (!test.result()->Failed())
            return;
        if (!names.empty())
            names += ':';
        names += std::string(test.test_suite_name()) + "." + test.name();
    }
};

std::string ReadAndRemove(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    ::unlink(path.c_str());
    return text.str();
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);

    const char *attemptText = std::getenv(kAttemptVariable);
    const int attempt = attemptText ? std::atoi(attemptText) : 1;
    const char *tmp = std::getenv("TMPDIR");
    std::string stallLog = std::string(tmp && *tmp ? tmp : "/tmp") + "/camsim-stalls-XXXXXX";
    const int fd = ::mkstemp(stallLog.data());
    if (fd >= 0) {
        ::close(fd);
        ::setenv("CAMSIM_STALL_LOG", stallLog.c_str(), 1);
    }

    auto *failed = new FailedTests; // owned by GoogleTest's listener list
    ::testing::UnitTest::GetInstance()->listeners().Append(failed);
    const int status = RUN_ALL_TESTS();
    const std::string stalls = fd >= 0 ? ReadAndRemove(stallLog) : std::string();
    if (status == 0 || stalls.empty() || failed->names.empty())
        return status;

    std::printf("\nThe machine stalled the simulated camera while these tests ran, so their failure\n"
                "says nothing about the console (camsim's report):\n%s",
                stalls.c_str());
    if (attempt >= kAttempts) {
        std::printf("Inconclusive after %d attempts, each with a stall: %s\n", kAttempts, failed->names.c_str());
        return kInconclusive;
    }
    std::printf("Running them again (attempt %d of %d): %s\n\n", attempt + 1, kAttempts, failed->names.c_str());
    std::fflush(stdout);

    std::vector<std::string> again;
    for (const std::string &argument : arguments)
        if (argument.rfind("--gtest_filter", 0) != 0)
            again.push_back(argument);
    again.push_back("--gtest_filter=" + failed->names);
    std::vector<char *> args;
    for (std::string &argument : again)
        args.push_back(argument.data());
    args.push_back(nullptr);
    ::setenv(kAttemptVariable, std::to_string(attempt + 1).c_str(), 1);
    ::execv("/proc/self/exe", args.data());
    std::printf("cannot run the tests again: %s\n", std::strerror(errno));
    return status;
}
