#include "test_kind.h"

namespace {

struct TestNames {
    std::string_view caption;
    std::string_view name;
};

// In the order of TestKind.
constexpr TestNames kNames[] = {
    { "DF --> Normal (RGB)", "normal" },
    { "DF --> Binary", "binary" },
    { "DF --> DLL (RGB)", "dll" },
};

} // namespace

std::string_view TestCaption(TestKind test)
{
    return kNames[static_cast<int>(test)].caption;
}

std::string_view TestName(TestKind test)
{
    return kNames[static_cast<int>(test)].name;
}

ReplyDecoder DecoderOf(TestKind test)
{
    switch (test) {
    case TestKind::Direct:
        return ReplyDecoder::FrameStream;
    case TestKind::LineMode:
        return ReplyDecoder::LineMode;
    case TestKind::Driver:
        return ReplyDecoder::FrameBuffer;
    }
    return ReplyDecoder::FrameStream;
}
