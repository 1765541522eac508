#include "frames/frame_record.h"

#include <charconv>

namespace {

struct TimingLabel {
    std::string_view label;
    std::string_view unit;
};

constexpr TimingLabel kTimingLabels[] = {
    { "Total Time To Get Frame:", "ms" },   { "Time to Process Frame: ", "ms" },
    { "Total time to get frame: ", "s" },   { "Time to display frame: ", "s" },
    { "Total Ticks to Get Frame: ", "ms" }, { "Total Ticks to Process Frame: ", "ms" },
};

} // namespace

std::vector<LoggedTiming> TimingsIn(std::string_view logText)
{
    std::vector<LoggedTiming> timings;
    std::size_t start = 0;
    while (start < logText.size()) {
        std::size_t end = logText.find("\r\n", start);
        if (end == std::string_view::npos)
            end = logText.size();
        const std::string_view line = logText.substr(start, end - start);
        for (const TimingLabel &known : kTimingLabels) {
            const std::size_t at = line.find(known.label);
            if (at == std::string_view::npos)
                continue;
            const std::string_view number = line.substr(at + known.label.size());
            std::int64_t value = 0;
            const auto [rest, error] = std::from_chars(number.data(), number.data() + number.size(), value);
            if (error == std::errc() && rest == number.data() + number.size() && !number.empty())
                timings.push_back({ std::string(known.label), value, known.unit });
        }
        start = end + 2;
    }
    return timings;
}
