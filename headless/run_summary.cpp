#include "run_summary.h"

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

void RunSummary::listTest(const std::string &test)
{
    if (m_tests.try_emplace(test).second)
        m_order.push_back(test);
}

void RunSummary::add(const std::string &test, bool succeeded, const std::vector<LoggedTiming> &timings)
{
    listTest(test);
    TestRuns &runs = m_tests.at(test);
    ++runs.runs;
    if (succeeded)
        ++runs.successes;
    for (const LoggedTiming &timing : timings) {
        std::vector<std::int64_t> &values = runs.timings[timing.label];
        if (values.empty()) {
            runs.labelOrder.push_back(timing.label);
            runs.units[timing.label] = timing.unit;
        }
        values.push_back(timing.value);
    }
}

std::string RunSummary::text() const
{
    std::string text;
    for (const std::string &name : m_order) {
        const TestRuns &runs = m_tests.at(name);
        text += name + ": " + Count(runs.runs, "run", "runs") + ", " + Count(runs.successes, "success", "successes")
            + ", " + Count(runs.runs - runs.successes, "failure", "failures") + "\n";
        for (const std::string &label : runs.labelOrder) {
            const std::vector<std::int64_t> &values = runs.timings.at(label);
            const auto [min, max] = std::minmax_element(values.begin(), values.end());
            std::string line = "  " + label;
            if (line.back() != ' ')
                line += ' ';
            line += "min " + std::to_string(*min) + ", median " + Median(values) + ", max " + std::to_string(*max) + " "
                + runs.units.at(label);
            if (static_cast<int>(values.size()) != runs.runs)
                line += " (logged in " + std::to_string(values.size()) + " of " + std::to_string(runs.runs) + " runs)";
            text += line + "\n";
        }
    }
    if (m_differingPixels)
        text += "Last direct and driver frames differ in " + std::to_string(*m_differingPixels) + " surface pixel"
            + (*m_differingPixels == 1 ? "" : "s") + "\n";
    return text;
}
