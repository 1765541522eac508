#pragma once

#include "frames/frame_record.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What a run of several tests or several rounds prints at its end: per test
// the runs, successes and failures, and for every timing it logged the
// minimum, median and maximum (a median of an even count is the mean of the
// middle two).
class RunSummary {
public:
    // Names a test before it runs, so that a summary printed before its
    // first run ends (the run was stopped) still lists it.
    void listTest(const std::string &test);
    // One finished run of the test named test, with the timings it logged.
    void add(const std::string &test, bool succeeded, const std::vector<LoggedTiming> &timings);
    // The number of surface pixels in which the last direct and driver
    // frames differ, when both ran.
    void setDifferingPixels(std::int64_t pixels) { m_differingPixels = pixels; }

    bool empty() const { return m_order.empty(); }
    std::string text() const;

private:
    struct TestRuns {
        int runs = 0;
        int successes = 0;
        std::vector<std::string> labelOrder;
        std::map<std::string, std::vector<std::int64_t>> timings;
        std::map<std::string, std::string> units;
    };

    std::vector<std::string> m_order;
    std::map<std::string, TestRuns> m_tests;
    std::optional<std::int64_t> m_differingPixels;
};
