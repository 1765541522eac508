#include "dump_reader.h"

namespace tarqis {

namespace {
constexpr std::uint8_t kFrameStart = 1;
constexpr std::uint8_t kFrameEnd = 3;
} // namespace

DumpReader::DumpReader(std::uint8_t *buffer, std::size_t capacity) noexcept
    : buffer_(buffer), capacity_(capacity)
{
    if (capacity_ == 0)
        status_ = Status::Full;
}

std::size_t DumpReader::feed(const std::uint8_t *data, std::size_t size) noexcept
{
    std::size_t taken = 0;
    while (status_ == Status::Reading && taken < size) {
        const std::uint8_t byte = data[taken++];
        buffer_[size_++] = byte;

        switch (phase_) {
        case Phase::BeforeFrame:
            if (byte == kFrameStart)
                phase_ = Phase::Step;
            break;
        case Phase::Step:
            // 1 and 2 keep the reader at a step position; anything but the
            // three markers is a red byte.
            if (byte == kFrameEnd)
                status_ = Status::Complete;
            else if (byte > kFrameEnd || byte == 0)
                phase_ = Phase::Green;
            break;
        case Phase::Green:
            phase_ = Phase::Blue;
            break;
        case Phase::Blue:
            phase_ = Phase::Step;
            break;
        }

        if (status_ == Status::Reading && size_ == capacity_)
            status_ = Status::Full;
    }
    return taken;
}

} // namespace tarqis
