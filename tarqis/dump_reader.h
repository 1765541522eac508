#pragma once

#include <cstddef>
#include <cstdint>

namespace tarqis {

// Follows the camera's reply to "DF" as it arrives and copies it into a
// fixed buffer, so the driver knows when to stop reading: at the frame's end
// marker, or when the buffer is full. No I/O: the caller feeds the received
// bytes in chunks of any size; the result does not depend on how the reply
// is split into chunks.
//
// Stream structure: bytes before the first frame start (1) are copied but not
// interpreted (the camera's "ACK\r"). Inside a frame, the byte where a step
// begins is 1 (frame start again), 2 (next column), 3 (end of the frame) or
// the red byte of a pixel, whose green and blue bytes follow and are taken
// whatever their values.
class DumpReader {
public:
    enum class Status {
        Reading, // neither the end marker nor the buffer's end reached yet
        Complete, // the end marker was copied; it is the last byte written
        Full, // the buffer filled up before the end marker
    };

    // buffer must hold capacity bytes; the reader writes nothing past them.
    DumpReader(std::uint8_t *buffer, std::size_t capacity) noexcept;

    // Copies bytes from data until the reply is finished or data runs out.
    // Returns how many bytes were taken (fewer than size only when the
    // reader finished inside this chunk); once finished it takes no more.
    std::size_t feed(const std::uint8_t *data, std::size_t size) noexcept;

    Status status() const noexcept { return m_status; }
    bool finished() const noexcept { return m_status != Status::Reading; }
    // Number of bytes written to the buffer so far.
    std::size_t size() const noexcept { return m_size; }

private:
    enum class Phase : std::uint8_t { BeforeFrame, Step, Green, Blue };

    std::uint8_t *m_buffer;
    std::size_t m_capacity;
    std::size_t m_size = 0;
    Phase m_phase = Phase::BeforeFrame;
    Status m_status = Status::Reading;
};

} // namespace tarqis
