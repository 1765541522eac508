#include "frames/capture_file.h"

#include "decode/reply_walk.h"
#include "frames/atomic_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

namespace {

std::string SystemReason()
{
    return std::strerror(errno != 0 ? errno : EIO);
}

} // namespace

DrawnPixels DrawnPixelsOf(const ReplyWalk &walk)
{
    DrawnPixels pixels;
    for (const WalkPixel &p : walk.pixels()) {
        const auto [x2, y2] = walk.secondSurfacePixel(p);
        pixels.paint(p.x, p.y, p.color);
        pixels.paint(x2, y2, p.color);
    }
    return pixels;
}

void WalkReplyAgain(RunAccount &account)
{
    if (account.decoded || WalksUndrawnReply(account))
        account.walk.emplace(DecoderOf(account.test), account.reply);
}

DrawnPixels DrawCapturedPixels(const RunAccount &account)
{
    if (!account.decoded || !account.walk)
        return {};
    return DrawnPixelsOf(*account.walk);
}

bool SaveCapture(const std::string &path, const FrameRecord &record, const std::string &consoleVersion,
                 std::string *error)
{
    Capture capture;
    capture.record = record;
    capture.consoleVersion = consoleVersion;
    capture.savedAt = std::chrono::system_clock::now();
    const bool drawnAgain = DrawCapturedPixels(record).pixels() == record.pixels.pixels();
    return WriteFileAtomically(path, EncodeCapture(capture, !drawnAgain), error);
}

std::optional<Capture> LoadCapture(const std::string &path, std::string *error)
{
    const auto refuse = [error](std::string why) -> std::optional<Capture> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return refuse(SystemReason());
    // Read in pieces up to the limit: a length the system reports is not
    // trusted (a pipe has none).
    std::string bytes;
    char piece[65536];
    while (in.read(piece, sizeof piece) || in.gcount() > 0) {
        bytes.append(piece, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxCaptureBytes)
            return refuse("it is larger than any capture (" + std::to_string(kMaxCaptureBytes >> 20) + " MiB)");
    }
    if (in.bad())
        return refuse(SystemReason());
    std::optional<Capture> capture = DecodeCapture(bytes, error);
    if (!capture)
        return capture;
    WalkReplyAgain(capture->record);
    if (!capture->pixelsStored)
        capture->record.pixels = DrawCapturedPixels(capture->record);
    return capture;
}

std::string CaptureOpenError(const std::string &path, const std::string &reason)
{
    return "Cannot open capture " + path + ": " + reason;
}
