#include "frames/drawn_pixels.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();

std::uint64_t KeyOf(const DrawnPixel &p)
{
    return (static_cast<std::uint64_t>(p.y) << 32) | static_cast<std::uint32_t>(p.x);
}

} // namespace

void DrawnPixels::paint(std::int64_t x, std::int64_t y, ColorValue color)
{
    if (x < 0 || y < 0 || x > kLargest || y > kLargest)
        return;
    m_pixels.push_back({ static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), color });
    m_finished = false;
}

void DrawnPixels::clear()
{
    m_pixels.clear();
    m_finished = false;
}

void DrawnPixels::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // Stable, so that of several paints of one position the last stays last.
    std::stable_sort(m_pixels.begin(), m_pixels.end(),
                     [](const DrawnPixel &a, const DrawnPixel &b) { return KeyOf(a) < KeyOf(b); });
    // Keep the last paint of each position.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_pixels.size(); ++i) {
        if (i + 1 < m_pixels.size() && KeyOf(m_pixels[i + 1]) == KeyOf(m_pixels[i]))
            continue;
        m_pixels[kept++] = m_pixels[i];
    }
    m_pixels.resize(kept);
    m_pixels.shrink_to_fit();

    m_width = 0;
    m_height = m_pixels.empty() ? 0 : std::int64_t { m_pixels.back().y } + 1;
    for (const DrawnPixel &p : m_pixels)
        m_width = std::max<std::int64_t>(m_width, std::int64_t { p.x } + 1);
}

std::optional<ColorValue> DrawnPixels::at(std::int64_t x, std::int64_t y) const
{
    if (x < 0 || y < 0 || x > kLargest || y > kLargest)
        return std::nullopt;
    const std::uint64_t key = KeyOf({ static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), 0 });
    const auto it = std::lower_bound(m_pixels.begin(), m_pixels.end(), key,
                                     [](const DrawnPixel &p, std::uint64_t k) { return KeyOf(p) < k; });
    if (it == m_pixels.end() || KeyOf(*it) != key)
        return std::nullopt;
    return it->color;
}
