#include "link/send_command.h"

#include "support/fake_platform.h"

#include <gtest/gtest.h>

namespace {

class SendCommandTest : public ::testing::Test {
protected:
    void SetUp() override { f.com.setPortOpen(true); }
    FakePlatform f;
    CommandChannel channel { f.com, f.time, f.time, f.status, f.events };
};

TEST_F(SendCommandTest, AcceptsOnlyRepliesThatStartWithAck)
{
    f.com.answerNext("ACK\r:");
    EXPECT_EQ(SendCommand(channel, "", 50), "ACK\r:");
    EXPECT_EQ(f.com.written.back(), "\r");

    f.com.answerNext(":ACK\r:");
    EXPECT_EQ(SendCommand(channel, "PM 1", 50), "-1");
    EXPECT_EQ(f.com.written.back(), "PM 1\r");

    f.com.answerNext("AC");
    EXPECT_EQ(SendCommand(channel, "LM 1", 50), "-1");

    EXPECT_EQ(SendCommand(channel, "LM 1", 50), "-1"); // nothing at all
    EXPECT_EQ(f.status.text, "") << "a refused command logs nothing here";
}

TEST_F(SendCommandTest, TimedPathSleepsTheDelayThenReads)
{
    // Each reply arrives just after its command: a read before the wait
    // would miss it. "df" differs in letter case, so it is no frame dump.
    for (const char *command : { "", "df" }) {
        f.com.answerNext("ACK\r:");
        EXPECT_EQ(SendCommand(channel, command, 50), "ACK\r:") << command;
    }
    EXPECT_EQ(f.time.sleeps, std::vector<int>({ 50, 50 }));
    EXPECT_EQ(f.events.calls, 0) << "a ping or mode command serves no window events";
    EXPECT_EQ(f.status.text, "");
}

TEST_F(SendCommandTest, FrameDumpDrainsUntilAPauseAndIgnoresTheDelay)
{
    // The dump arrives in three pieces, one per 50 ms cycle, then stops.
    std::vector<std::string> pieces = { "ACK\r\x01\x02", std::string("\x10\x20\x30\x00", 4), "\x03\r:" };
    f.com.receive(pieces[0]);
    std::size_t next = 1;
    // The window's events are served while the dump arrives, not only after it.
    int eventsBeforeTheLastPiece = -1;
    f.time.onSleep = [&](std::int64_t) {
        if (next + 1 == pieces.size())
            eventsBeforeTheLastPiece = f.events.calls;
        if (next < pieces.size())
            f.com.receive(pieces[next++]);
    };

    const std::string reply = SendCommand(channel, "DF", 6000);

    EXPECT_EQ(reply, pieces[0] + pieces[1] + pieces[2]);
    EXPECT_EQ(f.time.sleeps, std::vector<int>({ 50, 50, 50 }));
    EXPECT_GT(eventsBeforeTheLastPiece, 0);
    EXPECT_EQ(
        f.status.lines(),
        std::vector<std::string>({ "Sending Command & Starting Frame Dump Timer...", "Total Time To Get Frame:150" }));
    EXPECT_EQ(f.status.logRepaints, 2);
}

TEST_F(SendCommandTest, FrameDumpWithNoAnswerTakesOneCycle)
{
    EXPECT_EQ(SendCommand(channel, "DF", 6000), "-1");
    EXPECT_EQ(f.status.lines().back(), "Total Time To Get Frame:50");
}

TEST_F(SendCommandTest, FrameDumpFromACameraThatNeverPausesStopsAtTheLimit)
{
    f.com.receive("ACK\r\x01");
    f.time.onSleep = [&](std::int64_t) { f.com.receive(std::string(20000, '\x40')); };

    const std::string reply = SendCommand(channel, "DF", 6000);

    EXPECT_GE(reply.size(), kDumpReceptionLimit);
    EXPECT_LT(reply.size(), kDumpReceptionLimit + 20000);
    EXPECT_EQ(reply.substr(0, 3), "ACK");
    const auto lines = f.status.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Reception stopped: the camera did not pause");
    EXPECT_EQ(lines[2].rfind("Total Time To Get Frame:", 0), 0u);
}

TEST_F(SendCommandTest, LinkErrorsAreLoggedAndReportedAsFailure)
{
    f.com.failOutput = LinkError(LinkError::Cause::WriteFailed, "Input/output error");
    EXPECT_EQ(SendCommand(channel, "", 50), "-1");
    EXPECT_EQ(f.status.text, "COMPort Error Getting Frame\r\n");

    f.status.text.clear();
    f.com.failInput = LinkError(LinkError::Cause::ReadFailed, "Input/output error");
    EXPECT_EQ(SendCommand(channel, "DF", 6000), "-1");
    EXPECT_EQ(
        f.status.lines(),
        std::vector<std::string>({ "Sending Command & Starting Frame Dump Timer...", "COMPort Error Getting Frame" }));
}

TEST_F(SendCommandTest, KeepsEveryByteValueOfTheReply)
{
    std::string reply = "ACK";
    for (int value = 0; value < 256; ++value)
        reply += static_cast<char>(value);
    f.com.answerNext(reply);
    EXPECT_EQ(SendCommand(channel, "", 50), reply);
}

} // namespace
