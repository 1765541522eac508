#pragma once

#include "decode/walk_observer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which decoder a reply was drawn with: the frame-dump stream variant (direct
// test), its buffer variant (driver test) or the line-mode walk.
enum class ReplyDecoder : std::uint8_t { FrameStream, FrameBuffer, LineMode };

// Re-runs the decoder on bytes with the observer and surface given, and a
// log, event pump and clock that do nothing. A frame buffer that is not
// exactly the driver's buffer size is not decoded (false).
bool ReplayDecoder(ReplyDecoder decoder, std::string_view bytes, PictureSurface &surface, WalkObserver &observer);

// A byte as the decoder met it.
struct MarkerMet {
    std::size_t offset = 0;
    unsigned char value = 0; // 1, 2, 3 or 170
    bool inFrame = false; // a frame (the bitmap) had started before it
    bool operator==(const MarkerMet &) const = default;
};

// One frame of a frame dump, from a frame start to the next frame start, the
// end marker that closed it, or the walk's end.
struct FrameSpan {
    std::size_t start = 0; // offset of the frame start
    std::optional<std::size_t> end; // offset of the end marker that closed it
    std::size_t columns = 0; // column starts met inside it
    std::size_t minRows = 0; // pixels per column, over those columns
    std::size_t maxRows = 0;
    std::size_t pixelsBeforeFirstColumn = 0;
    std::size_t pixels = 0;
    bool operator==(const FrameSpan &) const = default;
};

// What a decoder did with a reply or buffer, collected from that very
// decoder's steps through a WalkObserver (as it draws, or walking recorded
// bytes again), so its quirks are described as they act. Offsets count from
// 0 over the whole reply (or buffer).
struct ReplySummary {
    bool operator==(const ReplySummary &) const = default;

    ReplyDecoder decoder = ReplyDecoder::FrameStream;
    std::size_t size = 0;
    std::optional<std::size_t> ack; // first "ACK" in the bytes
    bool walked = false; // false: line-mode reply without "ACK", or not a whole frame buffer
    std::size_t walkStart = 0; // first byte examined
    WalkEnd end = WalkEnd::NoStart;
    std::size_t endOffset = 0; // see WalkObserver::walkEnded
    std::vector<MarkerMet> markers; // in walk order
    std::size_t pixels = 0; // camera pixels drawn (each is two surface pixels)
    // Bytes passed over outside a frame (before the bitmap), and of them
    // those swallowed unseen by the extra step after a column marker.
    std::size_t skippedBytes = 0;
    std::size_t swallowedBytes = 0;

    // Frame dumps.
    std::vector<FrameSpan> frames;
    std::optional<std::size_t> cutPixel; // red byte of a pixel whose blue lay beyond the reply
    bool frameStartAtIndexZero = false; // buffer variant: a frame start it never sees

    // Line mode: bitmap rows begun, and the pixels of the last one (80 when whole).
    std::size_t rows = 0;
    std::size_t lastRowPixels = 0;
};

// Collects a ReplySummary from a decoder's walk.
class SummaryBuilder final : public WalkObserver {
public:
    SummaryBuilder(ReplyDecoder decoder, std::string_view bytes);

    void walkStarted(std::size_t offset) override;
    void markerMet(std::size_t offset, unsigned char marker, bool inFrame) override;
    void byteSkipped(std::size_t offset) override;
    void byteSwallowed(std::size_t offset) override;
    void pixelDrawn(const WalkPixel &pixel) override;
    void walkEnded(std::size_t offset, WalkEnd end) override;

    ReplySummary take();

private:
    void closeColumn();

    ReplySummary m_summary;
    bool m_inColumn = false;
    std::size_t m_columnRows = 0;
};

ReplySummary SummarizeReply(ReplyDecoder decoder, std::string_view bytes);
