#include "run_summary.h"

#include <algorithm>
#include <cstdio>

namespace {

// The labels after which the tests log a timing, in milliseconds or (line
// mode) in seconds. A label need not start its line: the driver test's
// "Image Dump Complete" runs on into "Total Ticks to Get Frame: ".
const char *const kTimingLabels[] = {
    "Total Time To Get Frame:",       "Time to Process Frame: ",   "Total Ticks to Get Frame: ",
    "Total Ticks to Process Frame: ", "Total time to get frame: ", "Time to display frame: ",
};

std::vector<std::string> LogLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// The whole of text as a decimal number with an optional minus sign.
std::optional<std::int64_t> WholeNumber(const std::string &text)
{
    const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.size() - digits > 18
        || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return std::nullopt;
    return std::stoll(text);
}

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

std::vector<LoggedTiming> TimingsInLog(const std::string &logText)
{
    std::vector<LoggedTiming> timings;
    for (const std::string &line : LogLines(logText)) {
        for (const char *label : kTimingLabels) {
            const std::size_t at = line.find(label);
            if (at == std::string::npos)
                continue;
            if (const auto value = WholeNumber(line.substr(at + std::string(label).size())))
                timings.push_back({ label, *value });
        }
    }
    return timings;
}

void RunSummary::listTest(const std::string &test)
{
    if (m_tests.try_emplace(test).second)
        m_order.push_back(test);
}

void RunSummary::add(const std::string &test, bool succeeded, const std::string &logText)
{
    listTest(test);
    TestRuns &runs = m_tests.at(test);
    ++runs.runs;
    if (succeeded)
        ++runs.successes;
    for (const LoggedTiming &timing : TimingsInLog(logText)) {
        std::vector<std::int64_t> &values = runs.timings[timing.label];
        if (values.empty())
            runs.labelOrder.push_back(timing.label);
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
            line += "min " + std::to_string(*min) + ", median " + Median(values) + ", max " + std::to_string(*max);
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
