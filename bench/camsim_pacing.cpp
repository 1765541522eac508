// How camsim's frame dump arrives over a real pty: the delay to the first
// byte, the longest gap between reads that brought bytes, and the effective
// rate against the wire's 11,520 bytes per second; a run during which camsim
// reported a stall of the machine is marked inconclusive. Figures only;
// nothing is asserted (the pacing's logic is unit-tested in virtual time).
//
//   camsim_pacing [runs] [camsim options...]     e.g. camsim_pacing 5 --pattern markers

#include "sim/camsim_pacer.h"
#include "sim/camsim_protocol.h"
#include "support/camsim_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Arrival {
    std::size_t bytes = 0;
    double firstByteMs = -1;
    double longestGapMs = 0;
    double p99GapMs = 0;
    double totalMs = 0; // command sent to last byte
    double bytesPerSecond = 0; // first byte to last byte
};

// Sends "DF" and reads the reply as a console would: poll, read what is
// there. Gives up after 20 s without the whole reply.
Arrival Dump(int fd)
{
    Arrival a;
    std::vector<double> gaps;
    const auto start = Clock::now();
    auto first = start, last = start;
    if (::write(fd, "DF\r", 3) != 3)
        return a;
    char buf[65536];
    while (a.bytes < camsim::kDumpReplySize && Clock::now() - start < std::chrono::seconds(20)) {
        pollfd pfd { fd, POLLIN, 0 };
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            continue;
        const auto now = Clock::now();
        if (a.bytes == 0)
            first = now;
        else
            gaps.push_back(Ms(now - last));
        last = now;
        a.bytes += static_cast<std::size_t>(n);
    }
    a.firstByteMs = Ms(first - start);
    a.totalMs = Ms(last - start);
    if (last > first)
        a.bytesPerSecond = static_cast<double>(a.bytes - 1) / std::chrono::duration<double>(last - first).count();
    std::sort(gaps.begin(), gaps.end());
    if (!gaps.empty()) {
        a.longestGapMs = gaps.back();
        a.p99GapMs = gaps[gaps.size() * 99 / 100];
    }
    return a;
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<std::string> options(argv + std::min(argc, 2), argv + argc);

    CamsimProcess cam(options);
    const int fd = ::open(cam.linkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "camsim_pacing: cannot open %s: %s\n", cam.linkPath().c_str(), std::strerror(errno));
        return 1;
    }
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);

    const double wireMs = 1000.0 * static_cast<double>(camsim::kDumpReplySize) / camsim::kBytesPerSecond;
    std::printf("frame dump %zu bytes; at %d bytes/s the wire takes %.1f ms\n\n", camsim::kDumpReplySize,
                camsim::kBytesPerSecond, wireMs);
    std::printf("run      bytes  first byte  longest gap  99%% of gaps  total time     bytes/s  of wire\n");
    std::size_t stallsSeen = 0;
    for (int run = 1; run <= runs; ++run) {
        const Arrival a = Dump(fd);
        // A run during which camsim reported that the machine stalled it
        // measures the machine, not camsim.
        const std::string errors = cam.stderrText();
        std::size_t stalls = 0;
        for (std::size_t at = errors.find("camsim: stalled"); at != std::string::npos;
             at = errors.find("camsim: stalled", at + 1))
            ++stalls;
        std::printf("%3d  %9zu  %7.2f ms  %8.2f ms  %8.2f ms  %7.1f ms  %10.0f  %6.2f%%%s\n", run, a.bytes,
                    a.firstByteMs, a.longestGapMs, a.p99GapMs, a.totalMs, a.bytesPerSecond,
                    100.0 * a.bytesPerSecond / camsim::kBytesPerSecond,
                    stalls > stallsSeen ? "  inconclusive: the machine stalled camsim" : "");
        stallsSeen = stalls;
    }
    ::close(fd);
    return 0;
}
