// Decode speed of the frame-dump decoders and the line-mode bitmap walk on
// full-size inputs, with a surface, pump and log that do nothing, so the
// figures are the decoders' own cost.
#include "decode/frame_dump_decoder.h"
#include "decode/line_mode_bitmap.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class NullSurface final : public PictureSurface {
public:
    void usePixelUnits() override {}
    void clear() override {}
    void setPixel(std::int64_t, std::int64_t, ColorValue) override { ++pixels; }
    std::int64_t pixels = 0;
};

class NullPump final : public EventPump {
public:
    void processPending() override {}
};

class NullLog final : public StatusLog {
public:
    void reset(const std::string &) override {}
    void appendLine(const std::string &) override {}
    void appendText(const std::string &) override {}
    void repaintLog() override {}
    void repaintWindow() override {}
};

class FixedClock final : public SecondsClock {
public:
    SecondsReading now() override { return {}; }
};

// "ACK\r", frame start, 80 columns of 143 pixels (components 16..240, so
// never a marker), end marker, "\r:": 34,408 bytes.
std::string FullFrameReply()
{
    std::string reply = "ACK\r";
    reply.push_back('\x01');
    for (int column = 0; column < 80; ++column) {
        reply.push_back('\x02');
        for (int row = 0; row < 143; ++row) {
            reply.push_back(static_cast<char>(16 + (column * 7 + row) % 225));
            reply.push_back(static_cast<char>(16 + (column + row * 3) % 225));
            reply.push_back(static_cast<char>(240 - (column + row) % 225));
        }
    }
    reply.push_back('\x03');
    reply += "\r:";
    return reply;
}

// "ACK\r", marker, 143 rows of ten data bytes (none 170), marker, marker, "\r:".
std::string FullBitmapReply()
{
    std::string reply = "ACK\r";
    reply.push_back(static_cast<char>(170));
    for (int i = 0; i < 1430; ++i) {
        int byte = (i * 37 + 11) % 256;
        if (byte == 170)
            byte = 171;
        reply.push_back(static_cast<char>(byte));
    }
    reply.push_back(static_cast<char>(170));
    reply.push_back(static_cast<char>(170));
    reply += "\r:";
    return reply;
}

void BM_FrameStream(benchmark::State &state)
{
    const std::string reply = FullFrameReply();
    NullSurface pic;
    NullPump events;
    for (auto _ : state) {
        DecodeFrameStream(reply, pic, events);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
    state.counters["bytes"] = static_cast<double>(reply.size());
    state.counters["pixel_writes"] = static_cast<double>(pic.pixels) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FrameStream);

void BM_FrameBuffer(benchmark::State &state)
{
    const std::string reply = FullFrameReply();
    std::vector<std::uint8_t> buffer(kFrameBufferBytes, 0);
    std::copy(reply.begin(), reply.end(), buffer.begin());
    NullSurface pic;
    NullLog log;
    for (auto _ : state) {
        DecodeFrameBuffer(buffer.data(), pic, log);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
    state.counters["bytes"] = static_cast<double>(reply.size());
    state.counters["pixel_writes"] = static_cast<double>(pic.pixels) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FrameBuffer);

void BM_LineModeBitmap(benchmark::State &state)
{
    const std::string reply = FullBitmapReply();
    NullSurface pic;
    NullLog log;
    FixedClock clock;
    for (auto _ : state) {
        DrawLineModeBitmap(reply, pic, log, clock);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
    state.counters["bytes"] = static_cast<double>(reply.size());
    state.counters["pixel_writes"] = static_cast<double>(pic.pixels) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LineModeBitmap);

} // namespace

BENCHMARK_MAIN();
