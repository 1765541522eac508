#include "decode/reply_walk.h"

#include "common/frame_geometry.h"
#include "common/frame_markers.h"
#include "platform/null_platform.h"

#include <algorithm>
#include <limits>

namespace {

std::uint64_t SurfaceKey(std::int64_t x, std::int64_t y)
{
    return (static_cast<std::uint64_t>(y) << 32) | static_cast<std::uint32_t>(x);
}

bool Keyable(std::int64_t x, std::int64_t y)
{
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    return x >= 0 && y >= 0 && x <= kLargest && y <= kLargest;
}

} // namespace

WalkRecorder::WalkRecorder(ReplyDecoder decoder, std::string_view bytes) : m_summary(decoder, bytes)
{
    m_walk.m_decoder = decoder;
    m_walk.m_roles.assign(bytes.size(), ByteRole::NotExamined);
    // Room for the pixels of a whole frame (bitmap) now, so that a decode
    // being timed seldom pays for its record; a longer walk grows it.
    const std::size_t frame = decoder == ReplyDecoder::LineMode ? kBitmapRowPixels * kBitmapRows
                                                                : std::size_t { kFrameColumns } * kFrameRows;
    m_walk.m_pixels.reserve(frame);
}

void WalkRecorder::walkStarted(std::size_t offset)
{
    m_summary.walkStarted(offset);
}

void WalkRecorder::markerMet(std::size_t offset, unsigned char marker, bool inFrame)
{
    m_summary.markerMet(offset, marker, inFrame);
    setRole(offset, 1, ByteRole::Marker);
    if (marker == kFrameStart)
        m_drewInLastFrame = false;
    if (m_walk.m_decoder == ReplyDecoder::LineMode)
        return;
    if (marker == kFrameStart)
        m_walk.m_frameStarts.push_back(offset);
    else if (marker == kColumnStart && inFrame)
        m_walk.m_columnStarts.push_back(offset);
}

void WalkRecorder::byteSkipped(std::size_t offset)
{
    m_summary.byteSkipped(offset);
    setRole(offset, 1, ByteRole::Skipped);
}

void WalkRecorder::byteSwallowed(std::size_t offset)
{
    m_summary.byteSwallowed(offset);
    setRole(offset, 1, ByteRole::Skipped);
}

void WalkRecorder::pixelDrawn(const WalkPixel &pixel)
{
    m_summary.pixelDrawn(pixel);
    setRole(pixel.offset, ReplyWalk::ByteCountOf(pixel), ByteRole::Pixel);
    m_walk.m_pixels.push_back(pixel);
    m_drewInLastFrame = true;
}

void WalkRecorder::pictureCleared()
{
    m_walk.m_pixels.clear();
}

void WalkRecorder::walkEnded(std::size_t offset, WalkEnd end)
{
    m_summary.walkEnded(offset, end);
    if (end == WalkEnd::CutPixel)
        setRole(offset, 1, ByteRole::CutPixel);
}

void WalkRecorder::setRole(std::size_t offset, std::size_t count, ByteRole role)
{
    auto &roles = m_walk.m_roles;
    for (std::size_t i = offset; i < offset + count && i < roles.size(); ++i)
        roles[i] = role;
}

ReplyWalk WalkRecorder::take()
{
    m_walk.m_summary = m_summary.take();
    return std::move(m_walk);
}

ReplyWalk::ReplyWalk(ReplyDecoder decoder, std::string_view bytes)
{
    WalkRecorder recorder(decoder, bytes);
    NullSurface surface;
    ReplayDecoder(decoder, bytes, surface, recorder);
    *this = recorder.take();
}

ByteRole ReplyWalk::roleOf(std::size_t offset) const
{
    return offset < m_roles.size() ? m_roles[offset] : ByteRole::NotExamined;
}

std::pair<std::int64_t, std::int64_t> ReplyWalk::secondSurfacePixel(const WalkPixel &pixel) const
{
    if (m_decoder == ReplyDecoder::LineMode)
        return { pixel.x, pixel.y + 1 };
    return { pixel.x + 1, pixel.y };
}

void ReplyWalk::buildSurfaceIndex() const
{
    m_bySurfaceBuilt = true;
    m_bySurface.reserve(2 * m_pixels.size());
    for (std::size_t i = 0; i < m_pixels.size(); ++i) {
        const WalkPixel &p = m_pixels[i];
        const auto [x2, y2] = secondSurfacePixel(p);
        const auto index = static_cast<std::uint32_t>(i);
        if (Keyable(p.x, p.y))
            m_bySurface.emplace_back(SurfaceKey(p.x, p.y), index);
        if (Keyable(x2, y2))
            m_bySurface.emplace_back(SurfaceKey(x2, y2), index);
    }
    // Equal keys keep walk order, so the last of each is its final paint.
    std::stable_sort(m_bySurface.begin(), m_bySurface.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_bySurface.size(); ++i)
        if (i + 1 == m_bySurface.size() || m_bySurface[i + 1].first != m_bySurface[i].first)
            m_bySurface[kept++] = m_bySurface[i];
    m_bySurface.resize(kept);
}

const WalkPixel *ReplyWalk::pixelAt(std::int64_t x, std::int64_t y) const
{
    if (!Keyable(x, y))
        return nullptr;
    if (!m_bySurfaceBuilt)
        buildSurfaceIndex();
    const std::uint64_t key = SurfaceKey(x, y);
    const auto it = std::lower_bound(m_bySurface.begin(), m_bySurface.end(), key,
                                     [](const auto &entry, std::uint64_t k) { return entry.first < k; });
    if (it == m_bySurface.end() || it->first != key)
        return nullptr;
    return &m_pixels[it->second];
}

std::span<const WalkPixel> ReplyWalk::pixelsFrom(std::size_t offset) const
{
    // Pixels are in byte order; a frame-dump pixel covers three bytes.
    const auto first
        = std::lower_bound(m_pixels.begin(), m_pixels.end(), offset,
                           [](const WalkPixel &p, std::size_t o) { return p.offset + ByteCountOf(p) <= o; });
    auto last = first;
    while (last != m_pixels.end() && last->offset <= offset)
        ++last;
    return { first, last };
}

ReplyWalk::CameraPosition ReplyWalk::cameraPositionOf(const WalkPixel &pixel) const
{
    if (m_decoder == ReplyDecoder::LineMode)
        return { pixel.x, pixel.y / 2 };
    const auto frame = std::upper_bound(m_frameStarts.begin(), m_frameStarts.end(), pixel.offset);
    const std::size_t frameStart = frame == m_frameStarts.begin() ? 0 : *std::prev(frame);
    const auto first = std::upper_bound(m_columnStarts.begin(), m_columnStarts.end(), frameStart);
    const auto last = std::upper_bound(m_columnStarts.begin(), m_columnStarts.end(), pixel.offset);
    return { static_cast<std::int64_t>(last - first) - 1, pixel.y };
}
