#pragma once

#include "decode/reply_summary.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// What the decoder made of each byte.
enum class ByteRole : std::uint8_t {
    NotExamined, // never reached by a step (before the walk, after its end, index 0)
    Skipped, // examined or swallowed and passed over
    Marker, // taken for a marker
    Pixel, // part of a pixel that was drawn
    CutPixel, // the red byte of a pixel cut short by the reply's end
};

// A decoder's walk over a reply, kept in full: its summary, the role of
// every byte, and which camera pixel each drawn surface pixel came from, so
// a pixel can be traced to its bytes and back. A test records it as its
// decoder draws (WalkRecorder); the constructor walks recorded bytes again,
// for a capture read from a file and a reply that the test did not draw.
class ReplyWalk {
public:
    ReplyWalk(ReplyDecoder decoder, std::string_view bytes);

    ReplyDecoder decoder() const { return m_decoder; }
    const ReplySummary &summary() const { return m_summary; }
    ByteRole roleOf(std::size_t offset) const;

    // The camera pixel whose paint is on surface pixel (x, y) at the end, if
    // any. The first call builds an index (not safe from several threads).
    const WalkPixel *pixelAt(std::int64_t x, std::int64_t y) const;
    // The camera pixels on the picture that came from the byte at offset.
    std::span<const WalkPixel> pixelsFrom(std::size_t offset) const;
    // The bytes a camera pixel came from: its red, green and blue, or its one
    // data byte.
    static std::size_t FirstByteOf(const WalkPixel &pixel) { return pixel.offset; }
    static std::size_t ByteCountOf(const WalkPixel &pixel) { return pixel.bit == WalkPixel::kWholeTriple ? 3 : 1; }
    // The second surface pixel a camera pixel was painted on (the first is
    // at its x, y).
    std::pair<std::int64_t, std::int64_t> secondSurfacePixel(const WalkPixel &pixel) const;
    // The camera pixels the walk leaves on the picture (a clear drops those
    // before it), in walk order.
    std::span<const WalkPixel> pixels() const { return m_pixels; }

    // Where a camera pixel stands in the camera's image: its column (counted
    // by the column starts met since its frame start; -1 before the first)
    // and row, or in line mode its bit column and bitmap row.
    struct CameraPosition {
        std::int64_t column = 0;
        std::int64_t row = 0;
    };
    CameraPosition cameraPositionOf(const WalkPixel &pixel) const;

    // The same walk: the index built on demand is not part of it. Inline, so
    // that what compares accounts (a capture reader) needs no decoder.
    bool operator==(const ReplyWalk &other) const
    {
        return m_decoder == other.m_decoder && m_summary == other.m_summary && m_roles == other.m_roles
            && m_pixels == other.m_pixels && m_frameStarts == other.m_frameStarts
            && m_columnStarts == other.m_columnStarts;
    }

private:
    ReplyWalk() = default;
    friend class WalkRecorder;

    ReplyDecoder m_decoder;
    ReplySummary m_summary;
    std::vector<ByteRole> m_roles;
    // Pixels on the final picture (a clear drops those before it), in walk
    // order, which is also byte order.
    std::vector<WalkPixel> m_pixels;
    // (surface key, index into m_pixels) sorted by key, the last paint of
    // each surface pixel; built on the first pixelAt().
    mutable std::vector<std::pair<std::uint64_t, std::uint32_t>> m_bySurface;
    mutable bool m_bySurfaceBuilt = false;
    void buildSurfaceIndex() const;
    // Offsets of the frame starts and of the column starts met inside a frame.
    std::vector<std::size_t> m_frameStarts;
    std::vector<std::size_t> m_columnStarts;
};

// Records a ReplyWalk while a decoder walks: handed to the decoder as its
// observer, beside the picture it draws on.
class WalkRecorder final : public WalkObserver {
public:
    WalkRecorder(ReplyDecoder decoder, std::string_view bytes);

    void walkStarted(std::size_t offset) override;
    void markerMet(std::size_t offset, unsigned char marker, bool inFrame) override;
    void byteSkipped(std::size_t offset) override;
    void byteSwallowed(std::size_t offset) override;
    void pixelDrawn(const WalkPixel &pixel) override;
    void pictureCleared() override;
    void walkEnded(std::size_t offset, WalkEnd end) override;

    // Whether a pixel was drawn since the last frame start: an end marker
    // met before any pixel of its frame ends a walk that drew nothing.
    bool drewInLastFrame() const { return m_drewInLastFrame; }
    ReplyWalk take();

private:
    void setRole(std::size_t offset, std::size_t count, ByteRole role);

    ReplyWalk m_walk;
    SummaryBuilder m_summary;
    bool m_drewInLastFrame = false;
};
