#include "decode/reply_summary.h"

#include "common/frame_geometry.h"
#include "common/frame_markers.h"
#include "decode/frame_dump_decoder.h"
#include "decode/line_mode_bitmap.h"
#include "platform/null_platform.h"

namespace {

bool IsFrameDump(ReplyDecoder decoder)
{
    return decoder != ReplyDecoder::LineMode;
}

} // namespace

bool ReplayDecoder(ReplyDecoder decoder, std::string_view bytes, PictureSurface &surface, WalkObserver &observer)
{
    switch (decoder) {
    case ReplyDecoder::FrameStream: {
        NullPump events;
        DecodeFrameStream(bytes, surface, events, &observer);
        return true;
    }
    case ReplyDecoder::FrameBuffer: {
        if (bytes.size() != kFrameBufferSize)
            return false;
        NullLog log;
        DecodeFrameBuffer(std::span<const std::uint8_t, kFrameBufferSize>(
                              reinterpret_cast<const std::uint8_t *>(bytes.data()), kFrameBufferSize),
                          surface, log, &observer);
        return true;
    }
    case ReplyDecoder::LineMode: {
        NullLog log;
        NullClock clock;
        DrawLineModeBitmap(bytes, surface, log, clock, &observer);
        return true;
    }
    }
    return false;
}

SummaryBuilder::SummaryBuilder(ReplyDecoder decoder, std::string_view bytes)
{
    m_summary.decoder = decoder;
    m_summary.size = bytes.size();
    if (const std::size_t ack = bytes.find("ACK"); ack != std::string_view::npos)
        m_summary.ack = ack;
    m_summary.frameStartAtIndexZero
        = decoder == ReplyDecoder::FrameBuffer && !bytes.empty() && bytes[0] == static_cast<char>(kFrameStart);
}

void SummaryBuilder::walkStarted(std::size_t offset)
{
    m_summary.walked = true;
    m_summary.walkStart = offset;
}

void SummaryBuilder::closeColumn()
{
    if (!m_inColumn)
        return;
    m_inColumn = false;
    FrameSpan &frame = m_summary.frames.back();
    if (frame.columns == 1) {
        frame.minRows = frame.maxRows = m_columnRows;
    } else {
        frame.minRows = std::min(frame.minRows, m_columnRows);
        frame.maxRows = std::max(frame.maxRows, m_columnRows);
    }
}

void SummaryBuilder::markerMet(std::size_t offset, unsigned char marker, bool inFrame)
{
    m_summary.markers.push_back({ offset, marker, inFrame });
    if (!IsFrameDump(m_summary.decoder))
        return;
    if (marker == kFrameStart) {
        closeColumn();
        FrameSpan frame;
        frame.start = offset;
        m_summary.frames.push_back(frame);
    } else if (marker == kColumnStart && inFrame) {
        closeColumn();
        ++m_summary.frames.back().columns;
        m_inColumn = true;
        m_columnRows = 0;
    } else if (marker == kFrameEnd && inFrame) {
        closeColumn();
        m_summary.frames.back().end = offset;
    }
}

void SummaryBuilder::byteSkipped(std::size_t)
{
    ++m_summary.skippedBytes;
}

void SummaryBuilder::byteSwallowed(std::size_t)
{
    ++m_summary.swallowedBytes;
}

void SummaryBuilder::pixelDrawn(const WalkPixel &)
{
    ++m_summary.pixels;
    if (!IsFrameDump(m_summary.decoder) || m_summary.frames.empty())
        return;
    FrameSpan &frame = m_summary.frames.back();
    ++frame.pixels;
    if (m_inColumn)
        ++m_columnRows;
    else
        ++frame.pixelsBeforeFirstColumn;
}

void SummaryBuilder::walkEnded(std::size_t offset, WalkEnd end)
{
    closeColumn();
    m_summary.end = end;
    m_summary.endOffset = offset;
    if (end == WalkEnd::CutPixel)
        m_summary.cutPixel = offset;
    if (m_summary.decoder == ReplyDecoder::LineMode && m_summary.pixels > 0) {
        m_summary.rows = (m_summary.pixels + kBitmapRowPixels - 1) / kBitmapRowPixels;
        m_summary.lastRowPixels = m_summary.pixels - (m_summary.rows - 1) * kBitmapRowPixels;
    }
}

ReplySummary SummaryBuilder::take()
{
    return std::move(m_summary);
}

ReplySummary SummarizeReply(ReplyDecoder decoder, std::string_view bytes)
{
    SummaryBuilder builder(decoder, bytes);
    NullSurface surface;
    ReplayDecoder(decoder, bytes, surface, builder);
    return builder.take();
}
