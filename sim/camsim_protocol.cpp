#include "sim/camsim_protocol.h"

#include <stdexcept>

namespace camsim {

std::string DumpFrame(Pattern pattern, int columns, PixelSource pixel)
{
    std::string frame;
    frame.reserve(2 + static_cast<std::size_t>(columns) * (1 + 3 * kRows));
    frame.push_back(static_cast<char>(kFrameStart));
    for (int c = 0; c < columns; ++c) {
        frame.push_back(static_cast<char>(kColumnStart));
        for (int r = 0; r < kRows; ++r) {
            const Rgb px = pixel(pattern, c, r);
            frame.push_back(static_cast<char>(px.r));
            frame.push_back(static_cast<char>(px.g));
            frame.push_back(static_cast<char>(px.b));
        }
    }
    frame.push_back(static_cast<char>(kFrameEnd));
    return frame;
}

std::string DumpReply(Pattern pattern)
{
    return "ACK\r" + DumpFrame(pattern) + "\r:";
}

std::string DumpReply(const std::string &patternName)
{
    const auto pattern = ParseName<Pattern>(patternName);
    if (!pattern)
        throw std::invalid_argument("unknown camsim pattern: " + patternName);
    return DumpReply(*pattern);
}

std::string LineModeRowBytes(int row)
{
    std::string bytes;
    for (int i = 0; i < kColumns / 8; ++i) {
        unsigned value = 0;
        for (int bit = 0; bit < 8; ++bit)
            value = (value << 1) | (LineModePixel(i * 8 + bit, row) ? 1u : 0u);
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::string LineModeBitmap(int rows)
{
    std::string bitmap(1, static_cast<char>(kBitmapMarker));
    for (int r = 0; r < rows; ++r)
        bitmap += LineModeRowBytes(r);
    bitmap.append(2, static_cast<char>(kBitmapMarker));
    return bitmap;
}

std::string LineModeReply()
{
    return "ACK\r" + LineModeBitmap() + "\r:";
}

CommandKind ClassifyCommand(std::string_view command)
{
    if (command.empty())
        return CommandKind::Ping;
    if (command == "PM 0" || command == "PM 1")
        return CommandKind::PM;
    if (command == "LM 0" || command == "LM 1")
        return CommandKind::LM;
    if (command == "DF")
        return CommandKind::DF;
    if (command == "TW")
        return CommandKind::TW;
    return CommandKind::Unknown;
}

std::optional<CommandKind> ParseCommandKind(std::string_view name)
{
    const auto kind = ParseName<CommandKind>(name);
    if (kind == CommandKind::Unknown)
        return std::nullopt;
    return kind;
}

std::vector<std::string> CommandAssembler::feed(std::string_view bytes)
{
    std::vector<std::string> done;
    for (char ch : bytes) {
        if (ch == '\n')
            continue;
        if (ch == '\r') {
            done.push_back(std::move(m_pending));
            m_pending.clear();
            continue;
        }
        if (m_pending.size() < kMaxCommand)
            m_pending.push_back(ch);
    }
    return done;
}

} // namespace camsim
