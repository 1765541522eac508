// camsim: a simulated serial color camera on a pseudo-terminal, for testing
// the console without hardware. See `camsim --help`.

#include "sim/camsim_options.h"
#include "sim/camsim_priority.h"
#include "sim/camsim_server.h"

#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

int main(int argc, char **argv)
{
    camsim::Options options;
    try {
        options = camsim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        struct stat st {};
        if (!options.linkPath.empty() && ::lstat(options.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
            throw camsim::UsageError("--link " + options.linkPath + " exists and is not a symlink; not replacing it");
        if (!options.help && !options.version && !options.list)
            camsim::LoadReplay(options);
    } catch (const camsim::UsageError &e) {
        std::fprintf(stderr, "camsim: %s\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(camsim::HelpText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(camsim::VersionText().c_str(), stdout);
        return 0;
    }
    if (options.list) {
        std::fputs(camsim::ListText().c_str(), stdout);
        return 0;
    }
    if (options.realtime)
        std::fprintf(stderr, "camsim: scheduling: %s\n", camsim::RaiseSchedulingPriority().c_str());
    return camsim::RunCamsim(options);
}
