#include "frames/summary_text.h"

#include "common/frame_buffer.h"
#include "common/frame_geometry.h"
#include "common/frame_markers.h"
#include "frames/number_text.h"

#include <algorithm>

namespace {

// How many markers or frames the description lists one by one.
constexpr std::size_t kListedRuns = 12;

bool IsFrameDump(ReplyDecoder decoder)
{
    return decoder != ReplyDecoder::LineMode;
}

std::string At(std::size_t offset)
{
    return std::to_string(offset);
}

// Offsets as runs of equal spacing: "5, 435 to 33975 (79, every 430)".
std::string OffsetRuns(const std::vector<std::size_t> &offsets)
{
    std::string text;
    std::size_t runs = 0;
    std::size_t i = 0;
    while (i < offsets.size()) {
        std::size_t j = i + 1;
        if (j < offsets.size()) {
            const std::size_t step = offsets[j] - offsets[i];
            while (j + 1 < offsets.size() && offsets[j + 1] - offsets[j] == step)
                ++j;
            if (j - i + 1 < 3)
                j = i; // two in a row are listed one by one
        } else {
            j = i;
        }
        if (++runs > kListedRuns) {
            text += ", and " + Count(offsets.size() - i) + " more";
            break;
        }
        if (!text.empty())
            text += ", ";
        if (j > i)
            text += At(offsets[i]) + " to " + At(offsets[j]) + " (" + Count(j - i + 1) + ", every "
                + Count(offsets[i + 1] - offsets[i]) + ")";
        else
            text += At(offsets[i]);
        i = std::max(i, j) + 1;
    }
    return text;
}

std::vector<std::size_t> OffsetsOf(const std::vector<MarkerMet> &markers, unsigned char value, bool inFrame)
{
    std::vector<std::size_t> offsets;
    for (const MarkerMet &m : markers)
        if (m.value == value && m.inFrame == inFrame)
            offsets.push_back(m.offset);
    return offsets;
}

std::string Counted(std::size_t count, const char *thing)
{
    return Count(count) + " " + thing + (count == 1 ? "" : "s");
}

std::string RowsText(const FrameSpan &frame)
{
    if (frame.columns == 0)
        return "no column starts";
    const std::string columns = Counted(frame.columns, "column");
    if (frame.minRows == frame.maxRows)
        return columns + " of " + Counted(frame.minRows, "row");
    return columns + " of " + Count(frame.minRows) + " to " + Count(frame.maxRows) + " rows";
}

void DescribeFrameDump(const ReplySummary &s, std::vector<std::string> &lines)
{
    if (s.frames.empty())
        lines.push_back("No frame start met: nothing drawn.");
    for (std::size_t f = 0; f < s.frames.size() && f < kListedRuns; ++f) {
        const FrameSpan &frame = s.frames[f];
        std::string line = "Frame start at " + At(frame.start);
        line += frame.end ? ", end marker at " + At(*frame.end) : ", no end marker";
        line += ": " + RowsText(frame) + ", " + Counted(frame.pixels, "pixel");
        if (frame.pixelsBeforeFirstColumn > 0)
            line += " (" + Count(frame.pixelsBeforeFirstColumn) + " before its first column start)";
        lines.push_back(line + ".");
    }
    if (s.frames.size() > kListedRuns)
        lines.push_back("... and " + Count(s.frames.size() - kListedRuns) + " more frames.");
    if (s.frames.size() > 1)
        lines.push_back(s.decoder == ReplyDecoder::FrameStream
                            ? "Each frame start restarts at x 0, y 0 and paints over the frame before."
                            : "Each frame start clears the picture but keeps x and y.");

    const std::vector<std::size_t> columns = OffsetsOf(s.markers, kColumnStart, true);
    if (!columns.empty())
        lines.push_back("Column starts at " + OffsetRuns(columns) + ".");
    const std::vector<std::size_t> strayColumns = OffsetsOf(s.markers, kColumnStart, false);
    if (!strayColumns.empty())
        lines.push_back("Column starts outside a frame (x still moves by 2) at " + OffsetRuns(strayColumns)
                        + (s.decoder == ReplyDecoder::FrameStream ? "; each swallows the byte after it." : "."));
    const std::vector<std::size_t> strayEnds = OffsetsOf(s.markers, kFrameEnd, false);
    if (!strayEnds.empty())
        lines.push_back("End markers outside a frame at " + OffsetRuns(strayEnds) + ".");
    if (s.decoder == ReplyDecoder::FrameStream && !OffsetsOf(s.markers, kFrameEnd, true).empty())
        lines.push_back("The extra step after an end marker passes it; the walk goes on outside a frame.");
    if (s.cutPixel)
        lines.push_back("Pixel cut short at " + At(*s.cutPixel) + ": its blue byte lies beyond the reply; not drawn.");
    lines.push_back("Pixels drawn: " + Count(s.pixels) + " (" + Count(2 * s.pixels) + " surface pixels).");
    std::string outside = "Bytes outside a frame: " + Count(s.skippedBytes + s.swallowedBytes);
    if (s.swallowedBytes > 0)
        outside += " (" + Count(s.swallowedBytes) + " swallowed after column starts)";
    lines.push_back(outside + ".");
}

void DescribeLineMode(const ReplySummary &s, std::vector<std::string> &lines)
{
    std::vector<std::size_t> markers;
    markers.reserve(s.markers.size());
    for (const MarkerMet &m : s.markers)
        markers.push_back(m.offset);
    if (markers.empty()) {
        lines.push_back("No marker (170) met: nothing drawn.");
    } else {
        lines.push_back("Markers (170) at " + OffsetRuns(markers) + ".");
        lines.push_back("Bytes from \"ACK\" to the first marker, skipped: " + Count(s.skippedBytes) + ".");
    }
    std::string rows = "Rows: " + Count(s.rows);
    if (s.rows > 0 && s.lastRowPixels < kBitmapRowPixels)
        rows += ", the last with " + Count(s.lastRowPixels) + " of " + Count(kBitmapRowPixels) + " pixels";
    lines.push_back(rows + "; pixels drawn: " + Count(s.pixels) + " (" + Count(2 * s.pixels) + " surface pixels).");
}

void DescribeEnd(const ReplySummary &s, std::vector<std::string> &lines)
{
    switch (s.end) {
    case WalkEnd::NoStart:
    case WalkEnd::CutShort:
    case WalkEnd::EndPassed:
        // The data ran out: the buffer variant passed its last examined
        // index, the others met the reply's last byte.
        if (s.decoder == ReplyDecoder::FrameBuffer) {
            lines.push_back("The walk passed index " + At(kLastScannedFrameBufferIndex)
                            + " without an end marker; the rest of the buffer is never examined.");
            break;
        }
        if (s.endOffset < s.size)
            lines.push_back("The walk ended before the last byte (" + At(s.endOffset) + "), which is never examined.");
        else
            lines.push_back("The walk ended at the reply's end.");
        if (s.decoder == ReplyDecoder::LineMode)
            lines.push_back("It did not end on two markers.");
        break;
    case WalkEnd::CutPixel:
        lines.push_back("The walk ended at the cut pixel.");
        break;
    case WalkEnd::EndMarker:
        if (s.decoder == ReplyDecoder::LineMode)
            lines.push_back("The walk ended on two markers, at " + At(s.endOffset - 1) + " and " + At(s.endOffset)
                            + ".");
        else
            lines.push_back("The walk stopped at the first end marker (" + At(s.endOffset)
                            + ") and logged \"Image Dump Complete\".");
        break;
    case WalkEnd::NoReply:
        break;
    }
}

} // namespace

std::vector<std::string> DescribeSummary(const ReplySummary &s)
{
    std::vector<std::string> lines;
    std::string head = Counted(s.size, "byte");
    if (s.ack)
        head += *s.ack == 0 ? "; \"ACK\" at 0." : "; the first \"ACK\" at " + At(*s.ack) + ".";
    else
        head += "; no \"ACK\".";
    lines.push_back(head);

    if (!s.walked) {
        if (s.decoder == ReplyDecoder::LineMode)
            lines.push_back("Without \"ACK\" the walk does not start: nothing drawn, nothing logged.");
        else
            lines.push_back("No frame buffer: the library's dump was not reached.");
        return lines;
    }
    if (s.decoder == ReplyDecoder::FrameBuffer)
        lines.push_back(s.frameStartAtIndexZero
                            ? "Index 0 holds a frame start, which is never seen: the walk starts at index 1."
                            : "Index 0 is never examined: the walk starts at index 1.");
    else if (s.decoder == ReplyDecoder::LineMode)
        lines.push_back("The walk starts at \"ACK\" (" + At(s.walkStart) + ").");

    if (IsFrameDump(s.decoder))
        DescribeFrameDump(s, lines);
    else
        DescribeLineMode(s, lines);
    DescribeEnd(s, lines);
    return lines;
}
