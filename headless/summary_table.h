#pragma once

#include "frames/frame_compare.h"
#include "procedures/run_account.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// What a run of several tests or several rounds prints at its end: per test
// the runs, successes, failures and runs stopped by a signal (counted among
// the runs, as the JUnit report lists them), and for every
// timing of the successful runs the minimum, median and maximum (a median
// of an even count is the mean of the middle two).
class SummaryTable {
public:
    // Names a test before it runs, so that a summary printed before its
    // first run ends (the run was stopped) still lists it.
    void listTest(const std::string &test);
    // One finished run of the test named test, with its timings.
    void add(const std::string &test, bool succeeded, const std::vector<RunTiming> &timings);
    // A run of the test that a signal stopped.
    void addStopped(const std::string &test);
    // How the last direct and driver frames differ, when both ran.
    void setComparison(const FrameComparison &comparison) { m_comparison = comparison; }

    bool empty() const { return m_order.empty(); }
    std::string text() const;

private:
    struct TestRuns {
        int runs = 0;
        int successes = 0;
        int stopped = 0;
        std::vector<std::string> nameOrder;
        std::map<std::string, std::vector<std::int64_t>> timings;
    };

    std::vector<std::string> m_order;
    std::map<std::string, TestRuns> m_tests;
    std::optional<FrameComparison> m_comparison;
};
