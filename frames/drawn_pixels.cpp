#include "frames/drawn_pixels.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
// Room for a full frame's paints (80 x 143 pixels, two paints each), so a
// frame never waits for the store to grow.
constexpr std::size_t kFrameRoom = 1u << 15;

std::uint64_t KeyOf(const DrawnPixel &p)
{
    return (static_cast<std::uint64_t>(p.y) << 32) | static_cast<std::uint32_t>(p.x);
}

} // namespace

void DrawnPixels::makeRoomForAFrame()
{
    if (m_pixels.capacity() >= kFrameRoom)
        return;
    const std::vector<DrawnPixel> kept = m_pixels;
    m_pixels.resize(kFrameRoom); // writes every entry once
    std::copy(kept.begin(), kept.end(), m_pixels.begin());
    m_pixels.resize(kept.size());
}

void DrawnPixels::paint(std::int64_t x, std::int64_t y, ColorValue color)
{
    if (x < 0 || y < 0 || x > kLargest || y > kLargest)
        return;
    if (m_pixels.capacity() == 0)
        m_pixels.reserve(kFrameRoom);
    m_pixels.push_back({ static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), color });
    m_sorted = false;
    m_width = std::max(m_width, x + 1);
    m_height = std::max(m_height, y + 1);
}

void DrawnPixels::clear()
{
    m_pixels.clear();
    m_sorted = true;
    m_width = 0;
    m_height = 0;
}

const std::vector<DrawnPixel> &DrawnPixels::pixels() const
{
    if (m_sorted)
        return m_pixels;
    m_sorted = true;
    // Stable, so that of several paints of one position the last stays last
    // (also across paints made after an earlier read).
    std::stable_sort(m_pixels.begin(), m_pixels.end(),
                     [](const DrawnPixel &a, const DrawnPixel &b) { return KeyOf(a) < KeyOf(b); });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_pixels.size(); ++i)
        if (i + 1 == m_pixels.size() || KeyOf(m_pixels[i + 1]) != KeyOf(m_pixels[i]))
            m_pixels[kept++] = m_pixels[i];
    m_pixels.resize(kept);
    return m_pixels;
}

std::optional<ColorValue> DrawnPixels::at(std::int64_t x, std::int64_t y) const
{
    if (x < 0 || y < 0 || x > kLargest || y > kLargest)
        return std::nullopt;
    const std::vector<DrawnPixel> &sorted = pixels();
    const std::uint64_t key = KeyOf({ static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), 0 });
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), key,
                                     [](const DrawnPixel &p, std::uint64_t k) { return KeyOf(p) < k; });
    if (it == sorted.end() || KeyOf(*it) != key)
        return std::nullopt;
    return it->color;
}
