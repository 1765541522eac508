#pragma once

#include "decode/reply_summary.h"

#include <array>
#include <string_view>

// The console's three tests.
enum class TestKind { Direct, LineMode, Driver };
inline constexpr std::array<TestKind, 3> kAllTests = { TestKind::Direct, TestKind::LineMode, TestKind::Driver };

// The caption of the test's button: "DF --> Normal (RGB)", "DF --> Binary",
// "DF --> DLL (RGB)".
std::string_view TestCaption(TestKind test);
// The test's name on the command line (--run) and in the reports: normal,
// binary or dll.
std::string_view TestName(TestKind test);
// The decoder the test draws its reply with.
ReplyDecoder DecoderOf(TestKind test);
