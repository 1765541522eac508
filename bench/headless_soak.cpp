// Soak of a run without a window: takes camconsole's own arguments, runs them
// through the same parsing and the same runner as `camconsole --run ...` in
// this process, and measures the process after every round of the list:
// resident memory after the first and after the last round (and at ten
// points between), and the open file descriptors before the first round and
// after the run. Prints the
// figures on stderr ("soak: ..."); the console's log goes to stdout.
// Exits 1 when a run failed, memory grew by more than 1 MiB or a descriptor
// was left open.
//
//   headless_soak --port DEV --run normal,binary,dll --repeat 300
#include "cli/command_line.h"
#include "headless/headless_main.h"
#include "platform/utf8_locale.h"

#include <QCoreApplication>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr long kAllowedGrowthKiB = 1024;

// Resident memory, after the allocator has handed back the free memory it
// keeps for later (malloc_trim): what stays resident is what the program
// holds, not what the allocator happens to cache at that moment.
long ResidentKiB()
{
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

int OpenDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count - 1; // the iterator's own
}

} // namespace

int main(int argc, char *argv[])
{
    UseUtf8CharacterSet(); // as camconsole's main() does, before Qt starts
    QCoreApplication::setApplicationName(QStringLiteral("camconsole"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CAMCONSOLE_VERSION));
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
    if (!parsed.error.empty() || parsed.commandLine.action != CommandLine::Action::Run) {
        std::fputs(parsed.error.empty() ? "headless_soak: needs --run\n" : UsageErrorText(parsed.error).c_str(),
                   stderr);
        return kUsageErrorStatus;
    }
    QCoreApplication app(argc, argv);

    const int descriptorsBefore = OpenDescriptors();
    long firstKiB = -1;
    long lastKiB = -1;
    int rounds = 0;
    // The resident memory at ten points of the run, to show a trend.
    const int step = std::max(1, parsed.commandLine.repeat / 10);
    std::string trend;
    const int status = RunWithoutWindow(parsed.commandLine, [&](int round) {
        lastKiB = ResidentKiB();
        if (round == 1)
            firstKiB = lastKiB;
        if (round == 1 || round % step == 0) {
            // Appended piece by piece: GCC 12 warns (-Wrestrict, wrongly) on
            // " " + std::string in optimised builds.
            trend += ' ';
            trend += std::to_string(round);
            trend += ": ";
            trend += std::to_string(lastKiB);
        }
        rounds = round;
    });
    const int descriptorsAfter = OpenDescriptors();

    const long growthKiB = lastKiB - firstKiB;
    std::fprintf(stderr, "soak: %d rounds, exit status %d\n", rounds, status);
    std::fprintf(stderr, "soak: resident memory after the first round %ld KiB, after the last %ld KiB (%+ld KiB)\n",
                 firstKiB, lastKiB, growthKiB);
    std::fprintf(stderr, "soak: resident KiB by round:%s\n", trend.c_str());
    std::fprintf(stderr, "soak: open file descriptors before %d, after %d\n", descriptorsBefore, descriptorsAfter);

    const bool ok = status == 0 && rounds == parsed.commandLine.repeat && growthKiB <= kAllowedGrowthKiB
        && descriptorsAfter == descriptorsBefore;
    std::fputs(ok ? "soak: OK\n" : "soak: FAIL\n", stderr);
    return ok ? 0 : 1;
}
