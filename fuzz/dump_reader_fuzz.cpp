// Fuzz target for the driver library's dump reader (tarqis/dump_reader.h).
//
// Input layout: byte 0 picks the buffer capacity (below 128: the full 40001
// bytes; otherwise a small capacity of 0..127 so that overflow is reached
// with short inputs), byte 1 seeds the chunk sizes, the rest is the reply.
// The reply is fed once whole and once in chunks; both must give the same
// result, write exactly a prefix of the reply, never write past the buffer
// (the buffers are sized exactly, so AddressSanitizer sees any overrun), and
// finish consistently with their status.

#include "common/frame_buffer.h"
#include "tarqis/dump_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkResult(const tarqis::DumpReader &reader, const std::uint8_t *buffer, std::size_t capacity,
                 const std::uint8_t *reply, std::size_t replySize, std::size_t taken)
{
    using Status = tarqis::DumpReader::Status;
    check(reader.size() <= capacity);
    check(reader.size() == taken);
    check(reader.size() == 0 || std::memcmp(buffer, reply, reader.size()) == 0);
    switch (reader.status()) {
    case Status::Reading:
        check(taken == replySize && reader.size() < capacity);
        break;
    case Status::Complete:
        check(reader.size() > 0 && buffer[reader.size() - 1] == 3);
        break;
    case Status::Full:
        check(reader.size() == capacity);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t capacity = data[0] < 128 ? kFrameBufferSize : data[0] - 128u;
    std::uint32_t seed = data[1] * 2654435761u + 1u;
    const std::uint8_t *reply = data + 2;
    const std::size_t replySize = size - 2;

    // new[] of exactly capacity bytes (at least one so the pointer is valid).
    auto whole = std::make_unique<std::uint8_t[]>(capacity ? capacity : 1);
    tarqis::DumpReader wholeReader(whole.get(), capacity);
    const std::size_t wholeTaken = wholeReader.feed(reply, replySize);
    checkResult(wholeReader, whole.get(), capacity, reply, replySize, wholeTaken);

    auto split = std::make_unique<std::uint8_t[]>(capacity ? capacity : 1);
    tarqis::DumpReader splitReader(split.get(), capacity);
    std::size_t at = 0;
    std::size_t splitTaken = 0;
    while (at < replySize) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t chunk = std::min<std::size_t>((seed >> 16) % 8, replySize - at); // may be 0
        splitTaken += splitReader.feed(reply + at, chunk);
        at += chunk;
    }
    checkResult(splitReader, split.get(), capacity, reply, replySize, splitTaken);

    check(splitReader.status() == wholeReader.status());
    check(splitReader.size() == wholeReader.size());
    check(std::memcmp(split.get(), whole.get(), wholeReader.size()) == 0);
    return 0;
}
