#include "summary_table.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Count(int n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Median(std::vector<std::int64_t> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    if (values.size() % 2 == 1)
        return std::to_string(values[middle]);
    const std::int64_t sum = values[middle - 1] + values[middle];
    if (sum % 2 == 0)
        return std::to_string(sum / 2);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(sum) / 2);
    return text;
}

} // namespace

void SummaryTable::listTest(const std::string &test)
{
    if (m_tests.try_emplace(test).second)
        m_order.push_back(test);
}

void SummaryTable::add(const std::string &test, bool succeeded, const std::vector<RunTiming> &timings)
{
    listTest(test);
    TestRuns &runs = m_tests.at(test);
    ++runs.runs;
    if (!succeeded)
        return;
    ++runs.successes;
    for (const RunTiming &timing : timings) {
        std::vector<std::int64_t> &values = runs.timings[timing.name];
        if (values.empty())
            runs.nameOrder.push_back(timing.name);
        values.push_back(timing.ms);
    }
}

void SummaryTable::addStopped(const std::string &test)
{
    listTest(test);
    ++m_tests.at(test).runs;
    ++m_tests.at(test).stopped;
}

std::string SummaryTable::text() const
{
    std::string text;
    for (const std::string &test : m_order) {
        const TestRuns &runs = m_tests.at(test);
        const int failures = runs.runs - runs.successes - runs.stopped;
        text += test + ": " + Count(runs.runs, "run", "runs") + ", " + Count(runs.successes, "success", "successes")
            + ", " + Count(failures, "failure", "failures");
        if (runs.stopped > 0)
            text += ", " + std::to_string(runs.stopped) + " stopped";
        text += "\n";
        for (const std::string &name : runs.nameOrder) {
            const std::vector<std::int64_t> &values = runs.timings.at(name);
            const auto [min, max] = std::minmax_element(values.begin(), values.end());
            std::string line = "  " + name + ": min " + std::to_string(*min) + ", median " + Median(values) + ", max "
                + std::to_string(*max) + " ms";
            if (static_cast<int>(values.size()) != runs.successes)
                line += " (logged in " + std::to_string(values.size()) + " of "
                    + Count(runs.successes, "successful run", "successful runs") + ")";
            else if (failures > 0)
                line += " (over " + Count(runs.successes, "successful run", "successful runs") + ", not the "
                    + std::to_string(failures) + " failed)";
            text += line + "\n";
        }
    }
    if (m_comparison && m_comparison->surface.compared > 0)
        text += "Last direct and driver frames differ in " + DifferingPixelsText(*m_comparison) + "\n";
    return text;
}
