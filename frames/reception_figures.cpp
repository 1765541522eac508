#include "frames/reception_figures.h"

ReceptionFigures FiguresOf(const std::vector<ReceptionRead> &reads)
{
    ReceptionFigures figures;
    figures.reads = reads.size();
    std::int64_t previousBytesMs = 0; // the command counts as the start
    for (const ReceptionRead &read : reads) {
        if (read.bytes == 0)
            continue;
        if (figures.bytes == 0) {
            figures.firstBytesMs = read.msSinceCommand;
            figures.firstReadBytes = read.bytes;
        }
        figures.bytes += read.bytes;
        figures.lastBytesMs = read.msSinceCommand;
        const std::int64_t gap = read.msSinceCommand - previousBytesMs;
        if (gap > figures.longestGapMs) {
            figures.longestGapMs = gap;
            figures.longestGapEndsMs = read.msSinceCommand;
        }
        previousBytesMs = read.msSinceCommand;
    }
    if (figures.lastBytesMs > 0)
        figures.effectiveBytesPerSecond
            = static_cast<double>(figures.bytes) * 1000.0 / static_cast<double>(figures.lastBytesMs);
    if (figures.lastBytesMs > figures.firstBytesMs)
        figures.arrivalBytesPerSecond = static_cast<double>(figures.bytes - figures.firstReadBytes) * 1000.0
            / static_cast<double>(figures.lastBytesMs - figures.firstBytesMs);
    return figures;
}
