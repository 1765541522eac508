#include "system_timing.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

void ThreadSleeper::sleepMs(int milliseconds)
{
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t MonotonicTickClock::ticksMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int32_t RoundSecondsHalfToEven(double secondsSinceMidnight)
{
    double whole = std::floor(secondsSinceMidnight);
    const double fraction = secondsSinceMidnight - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return static_cast<std::int32_t>(whole);
}

SecondsReading LocalSecondsClock::now()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local {};
    localtime_r(&t, &local);
    const double fraction = duration<double>(now - system_clock::from_time_t(t)).count();
    const double sinceMidnight = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
    // The date as a day count, so that readings on two dates can be told apart.
    const year_month_day date { year { local.tm_year + 1900 }, month { static_cast<unsigned>(local.tm_mon + 1) },
                                day { static_cast<unsigned>(local.tm_mday) } };
    const std::int64_t dayNumber = sys_days { date }.time_since_epoch().count();
    return SecondsReading { dayNumber, RoundSecondsHalfToEven(sinceMidnight) };
}
