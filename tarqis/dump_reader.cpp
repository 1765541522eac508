#include "dump_reader.h"

#include "common/frame_markers.h"

namespace tarqis {

DumpReader::DumpReader(std::uint8_t *buffer, std::size_t capacity) noexcept : m_buffer(buffer), m_capacity(capacity)
{
    if (m_capacity == 0)
        m_status = Status::Full;
}

std::size_t DumpReader::feed(const std::uint8_t *data, std::size_t size) noexcept
{
    std::size_t taken = 0;
    while (m_status == Status::Reading && taken < size) {
        const std::uint8_t byte = data[taken++];
        m_buffer[m_size++] = byte;

        switch (m_phase) {
        case Phase::BeforeFrame:
            if (byte == kFrameStart)
                m_phase = Phase::Step;
            break;
        case Phase::Step:
            // 1 and 2 keep the reader at a step position; anything but the
            // three markers is a red byte.
            if (byte == kFrameEnd)
                m_status = Status::Complete;
            else if (byte > kFrameEnd || byte == 0)
                m_phase = Phase::Green;
            break;
        case Phase::Green:
            m_phase = Phase::Blue;
            break;
        case Phase::Blue:
            m_phase = Phase::Step;
            break;
        }

        if (m_status == Status::Reading && m_size == m_capacity)
            m_status = Status::Full;
    }
    return taken;
}

} // namespace tarqis
