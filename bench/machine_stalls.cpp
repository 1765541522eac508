// The stops each CPU of this machine suffers: a thread bound to each CPU
// (real-time where the system allows it) wakes every millisecond and notes
// how late it woke. A virtual machine whose host takes a CPU away stops every
// program on it, real-time ones included, without a word to the guest; such
// stops of about 100 ms are what fool a console into seeing a camera pause.
// Set a failure of a test beside this machine's own stops.
//
//   machine_stalls [seconds]      (default 25)
//
// Prints, per CPU, the wake-ups that came 20 ms or more late: how many
// reached 20, 50 and 90 ms, the longest, and the ten longest with their time.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPeriod = 1ms;
constexpr auto kNoted = 20ms;

struct Stop {
    double atSeconds;
    double lateMs;
};

struct CpuRecord {
    int cpu = 0;
    bool realtime = false;
    std::vector<Stop> stops;
};

void Watch(CpuRecord &record, Clock::time_point start, Clock::time_point end)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(record.cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
    sched_param param {};
    param.sched_priority = 50;
    record.realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;

    auto due = Clock::now();
    while (due < end) {
        due += kPeriod;
        std::this_thread::sleep_until(due);
        const auto now = Clock::now();
        if (now - due >= kNoted)
            record.stops.push_back({ std::chrono::duration<double>(due - start).count(),
                                     std::chrono::duration<double, std::milli>(now - due).count() });
        due = std::max(due, now - kPeriod);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 25;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: machine_stalls [seconds]\n");
        return 2;
    }
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    sched_getaffinity(0, sizeof allowed, &allowed);
    std::vector<CpuRecord> records;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed))
            records.push_back({ cpu, false, {} });

    std::printf("machine_stalls: watching %zu CPUs for %d s (a wake-up every %lld ms, late by %lld ms or more noted)\n",
                records.size(), seconds, static_cast<long long>(kPeriod.count()),
                static_cast<long long>(kNoted.count()));
    std::fflush(stdout);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (CpuRecord &record : records)
        threads.emplace_back(Watch, std::ref(record), start, end);
    for (std::thread &thread : threads)
        thread.join();

    for (CpuRecord &record : records) {
        const auto count = [&](double ms) {
            return std::count_if(record.stops.begin(), record.stops.end(),
                                 [ms](const Stop &s) { return s.lateMs >= ms; });
        };
        double longest = 0;
        for (const Stop &stop : record.stops)
            longest = std::max(longest, stop.lateMs);
        std::printf(
            "CPU %d (%s): %zu stops of 20 ms or more, %td of 50 ms or more, %td of 90 ms or more; longest %.1f ms\n",
            record.cpu, record.realtime ? "SCHED_FIFO" : "normal priority: delays include other programs",
            record.stops.size(), count(50), count(90), longest);
        std::sort(record.stops.begin(), record.stops.end(),
                  [](const Stop &a, const Stop &b) { return a.lateMs > b.lateMs; });
        for (std::size_t i = 0; i < record.stops.size() && i < 10; ++i)
            std::printf("    %.1f ms at %.3f s\n", record.stops[i].lateMs, record.stops[i].atSeconds);
    }
    return 0;
}
