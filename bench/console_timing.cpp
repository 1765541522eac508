// Runs the console's tests in a real window against a camera (normally camsim
// at 115200-baud pace) and prints the timings the console logs, next to the
// frame's wire time. Figures only; nothing is asserted.
//
//   console_timing [runs]     (CAMCONSOLE_PORT1 and CAMCONSOLE_DRIVER as for the console)
#include "console/form1.h"
#include "console/status_box.h"
#include "console/wrapping_button.h"
#include "sim/camsim_reply.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A full frame-dump reply, as the camera sends it.
constexpr double kDumpReplyBytes = camsim::kDumpReplySize;
constexpr double kWireBytesPerSecond = 11520.0; // 115200 baud, 10 bits a byte
constexpr double kWireTimeMs = kDumpReplyBytes / kWireBytesPerSecond * 1000.0;

// The number after each timing label found in the log, by label.
std::map<std::string, long long> Timings(const std::string &log, const std::vector<std::string> &labels)
{
    std::map<std::string, long long> found;
    for (const auto &label : labels) {
        const auto at = log.find(label);
        if (at != std::string::npos)
            found[label] = std::atoll(log.c_str() + at + label.size());
    }
    return found;
}

void Report(const char *test, const std::string &label, const std::map<std::string, long long> &timings,
            double ceilingMs)
{
    const auto it = timings.find(label);
    if (it == timings.end()) {
        std::printf("%-22s %-32s missing from the log\n", test, label.c_str());
        return;
    }
    std::printf("%-22s %-32s %6lld ms  %6.2f%% of wire time  (target %.0f ms)\n", test, label.c_str(), it->second,
                100.0 * static_cast<double>(it->second) / kWireTimeMs, ceilingMs);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    Form1 form;
    form.show();
    QApplication::processEvents();

    std::printf("frame reply %.0f bytes, wire time %.1f ms at 115200 baud\n\n", kDumpReplyBytes, kWireTimeMs);
    for (int run = 1; run <= runs; ++run) {
        std::printf("run %d\n", run);
        form.df_nomral->click();
        const auto direct = Timings(form.status->logText(), { "Total Time To Get Frame:", "Time to Process Frame: " });
        Report("DF --> Normal (RGB)", "Total Time To Get Frame:", direct, kWireTimeMs + 100);
        Report("DF --> Normal (RGB)", "Time to Process Frame: ", direct, kWireTimeMs / 100);

        form.df_dll->click();
        const auto driver
            = Timings(form.status->logText(), { "Total Ticks to Get Frame: ", "Total Ticks to Process Frame: " });
        Report("DF --> DLL (RGB)", "Total Ticks to Get Frame: ", driver, kWireTimeMs + 100);
        Report("DF --> DLL (RGB)", "Total Ticks to Process Frame: ", driver, kWireTimeMs / 100);
        QApplication::processEvents();
    }
    return 0;
}
