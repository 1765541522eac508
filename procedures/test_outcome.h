#pragma once

// clang-format off
// How a test run ended.
enum class TestOutcome {
    Succeeded, // the test got what it asked for
    Failed,    // it ran and reported a failure in the log
    Stopped,   // a port or driver-library error stopped it
};
// clang-format on
