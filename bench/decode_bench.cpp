// Decode speed of the frame-dump decoders and the line-mode bitmap walk on
// full-size inputs, with a surface, pump and log that do nothing, so the
// figures are the decoders' own cost.
#include "decode/frame_dump_decoder.h"
#include "decode/line_mode_bitmap.h"
#include "decode/reply_walk.h"
#include "frames/recorders.h"
#include "platform/null_platform.h"
#include "sim/camsim_reply.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace {

class CountingSurface final : public PictureSurface {
public:
    void usePixelUnits() override {}
    void clear() override {}
    void setPixel(std::int64_t, std::int64_t, ColorValue) override { ++pixels; }
    std::int64_t pixels = 0;
};

// Full-size inputs exactly as the simulated camera sends them: a 34,408-byte
// frame dump (80 columns of 143 pixels, components 16..240) and a 143-row
// line-mode bitmap.
std::string FullFrameReply()
{
    return camsim::DumpReply(camsim::Pattern::Gradient);
}

std::string FullBitmapReply()
{
    return camsim::LineModeReply();
}

void BM_FrameStream(benchmark::State &state)
{
    const std::string reply = FullFrameReply();
    CountingSurface pic;
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

// The stream decode as the console records it: through the recording
// surface, its walk recorded as it goes. Its excess over BM_FrameStream is
// the cost of the record and the walk.
void BM_FrameStreamRecordedAndWalked(benchmark::State &state)
{
    const std::string reply = FullFrameReply();
    CountingSurface pic;
    NullPump events;
    for (auto _ : state) {
        FrameRecord record;
        record.pixels.makeRoomForAFrame(); // as a recorded run does before its test
        RecordingPictureSurface recording(pic, record);
        WalkRecorder walk(ReplyDecoder::FrameStream, reply);
        DecodeFrameStream(reply, recording, events, &walk);
        record.walk = walk.take();
        // Non-const: Google Benchmark 1.9 deprecates DoNotOptimize on a const reference.
        std::size_t pixels = record.walk->summary().pixels;
        benchmark::DoNotOptimize(pixels);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
}
BENCHMARK(BM_FrameStreamRecordedAndWalked);

// The first read of a recorded frame's pixels, which sorts them once.
void BM_RecordedFrameFirstRead(benchmark::State &state)
{
    const std::string reply = FullFrameReply();
    CountingSurface pic;
    NullPump events;
    for (auto _ : state) {
        state.PauseTiming();
        FrameRecord record;
        RecordingPictureSurface recording(pic, record);
        DecodeFrameStream(reply, recording, events);
        state.ResumeTiming();
        benchmark::DoNotOptimize(record.pixels.size());
    }
}
BENCHMARK(BM_RecordedFrameFirstRead);

void BM_FrameBuffer(benchmark::State &state)
{
    const std::string reply = FullFrameReply();
    std::vector<std::uint8_t> buffer(kFrameBufferSize, 0);
    std::copy(reply.begin(), reply.end(), buffer.begin());
    CountingSurface pic;
    NullLog log;
    for (auto _ : state) {
        DecodeFrameBuffer(std::span<const std::uint8_t, kFrameBufferSize>(buffer.data(), kFrameBufferSize), pic, log);
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
    CountingSurface pic;
    NullLog log;
    NullClock clock;
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
