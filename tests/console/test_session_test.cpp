#include "console/test_session.h"

#include <gtest/gtest.h>

namespace {

TEST(TestSessionState, OneTestAtATimeAndCloseWaitsForIt)
{
    TestSession session;
    EXPECT_TRUE(session.requestClose()) << "idle: closes at once";

    TestSession running;
    ASSERT_TRUE(running.tryStart());
    EXPECT_FALSE(running.tryStart()) << "a second test is not started inside the first";
    EXPECT_FALSE(running.cancelRequested());
    EXPECT_FALSE(running.requestClose());
    EXPECT_TRUE(running.cancelRequested());
    running.finish();
    EXPECT_FALSE(running.cancelRequested());
    EXPECT_TRUE(running.closeRequested());
    EXPECT_FALSE(running.tryStart()) << "no new test once the window is closing";
}

} // namespace
