#include "decode/frame_dump_decoder.h"
#include "frames/reception_figures.h"
#include "frames/reply_file.h"
#include "frames/run_recorder.h"
#include "image/frame_image.h"
#include "procedures/camera_tests.h"
#include "sim/camsim_reply.h"
#include "support/fake_platform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;

// The console's tests on fakes, recorded as the window records them.
class RecordedTestsTest : public ::testing::Test {
protected:
    template <typename Test> void run(TestKind kind, Test test)
    {
        RecordedRun recorded(recorder, kind, f.platform, "/dev/camera");
        CameraTests tests(recorded.platform());
        test(tests);
    }
    // Hands out the pieces one per sleep once the command is written.
    void deliverAfter(const std::string &command, std::vector<std::string> pieces)
    {
        f.time.onSleep = [this, command, pieces, next = std::size_t { 0 }](std::int64_t) mutable {
            if (!f.com.written.empty() && f.com.written.back() == command && next < pieces.size())
                f.com.receive(pieces[next++]);
        };
    }

    FakePlatform f;
    RunRecorder recorder;
};

TEST_F(RecordedTestsTest, DirectDumpKeepsTheReplyItsReadsThePixelsUnclippedAndTheTimings)
{
    const std::string dump = camsim::DumpReply(camsim::Pattern::Checker);
    f.com.answerNext("ACK\r:");
    deliverAfter("DF\r", { dump.substr(0, 20000), dump.substr(20000) });

    run(TestKind::Direct, [](CameraTests &t) { t.df_nomral_Click(); });

    const auto record = recorder.last(TestKind::Direct);
    ASSERT_TRUE(record);
    EXPECT_FALSE(recorder.running());
    EXPECT_EQ(record->source, "/dev/camera");
    EXPECT_TRUE(record->requested);
    EXPECT_TRUE(record->decoded);
    EXPECT_TRUE(record->reply == dump) << "the ping's reply is not part of it";
    // Read at once (nothing yet), then once per 50 ms cycle.
    EXPECT_EQ(record->reads, (std::vector<ReceptionRead> { { 0, 0 }, { 50, 20000 }, { 100, 14408 } }));
    EXPECT_EQ(record->pixels.size(), 2u * 80u * 143u);
    EXPECT_EQ(record->pixels.width(), 162);
    EXPECT_EQ(record->pixels.height(), 143);
    const camsim::Rgb last = camsim::PatternPixel(camsim::Pattern::Checker, 79, 142);
    EXPECT_EQ(record->pixels.at(161, 142), MakeColor(last.r, last.g, last.b));
    EXPECT_FALSE(record->pixels.at(1, 0));
    EXPECT_EQ(record->timings,
              (std::vector<LoggedTiming> { { "Total Time To Get Frame:", 150, "ms" },
                                           { "Time to Process Frame: ", 0, "ms" } }));
    EXPECT_EQ(f.pic.at(132, 0),
              MakeColor(camsim::PatternPixel(camsim::Pattern::Checker, 65, 0).r,
                        camsim::PatternPixel(camsim::Pattern::Checker, 65, 0).g,
                        camsim::PatternPixel(camsim::Pattern::Checker, 65, 0).b))
        << "the window's picture is drawn as before";
}

TEST_F(RecordedTestsTest, LineModeAndDriverRecordsAndOnlyTheLastRunOfEachIsKept)
{
    f.com.answerNext("ACK\r:");
    f.com.answerNext("ACK\r:");
    f.com.answerNext(camsim::LineModeReply());
    run(TestKind::LineMode, [](CameraTests &t) { t.df_bin_Click(); });
    const auto lineMode = recorder.last(TestKind::LineMode);
    ASSERT_TRUE(lineMode);
    EXPECT_TRUE(lineMode->reply == camsim::LineModeReply());
    EXPECT_TRUE(lineMode->decoded);
    EXPECT_EQ(lineMode->reads, (std::vector<ReceptionRead> { { 250, camsim::kLineModeReplySize } }));
    EXPECT_EQ(lineMode->pixels.width(), 80);
    EXPECT_EQ(lineMode->pixels.height(), 286);
    EXPECT_EQ(lineMode->timings.size(), 2u);

    f.driver.dumpBytes = camsim::DumpReply(camsim::Pattern::Bars);
    bool runningDuringDump = false;
    f.driver.duringDump = [&] {
        runningDuringDump = recorder.running() == TestKind::Driver;
        f.time.nowMs += 2988;
    };
    run(TestKind::Driver, [](CameraTests &t) { t.df_dll_Click(); });
    const auto driver = recorder.last(TestKind::Driver);
    ASSERT_TRUE(driver);
    EXPECT_TRUE(runningDuringDump);
    std::string buffer = f.driver.dumpBytes;
    buffer.resize(kFrameBufferSize, '\0');
    EXPECT_TRUE(driver->reply == buffer);
    EXPECT_TRUE(driver->decoded);
    EXPECT_EQ(driver->driverCallMs, 2988);
    EXPECT_TRUE(driver->reads.empty());
    EXPECT_EQ(driver->pixels.size(), 2u * 80u * 143u);
    EXPECT_EQ(driver->timings[0], (LoggedTiming { "Total Ticks to Get Frame: ", 2988, "ms" }));

    // A later run that fails replaces the record of its test only.
    f.driver.dumpBytes.clear();
    f.driver.dumpResult = 0;
    run(TestKind::Driver, [](CameraTests &t) { t.df_dll_Click(); });
    EXPECT_NE(recorder.last(TestKind::Driver), driver);
    EXPECT_TRUE(recorder.last(TestKind::Driver)->pixels.empty());
    EXPECT_TRUE(recorder.last(TestKind::Driver)->reply == std::string(kFrameBufferSize, '\0'));
    EXPECT_EQ(recorder.last(TestKind::LineMode), lineMode);
    EXPECT_FALSE(recorder.last(TestKind::Direct));
}

TEST_F(RecordedTestsTest, RefusedDumpIsRecordedButNotDecoded)
{
    f.pic.usePixelUnits();
    f.pic.setPixel(5, 5, kBlue); // the picture of an earlier test stays, but is not this run's
    f.com.answerNext("ACK\r:");
    f.com.answerNext("NCK\r" + Bytes({ 1, 2, 10, 20, 30, 3 }));
    run(TestKind::Direct, [](CameraTests &t) { t.df_nomral_Click(); });
    const auto record = recorder.last(TestKind::Direct);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->requested);
    EXPECT_FALSE(record->decoded);
    EXPECT_EQ(record->reply, "NCK\r" + Bytes({ 1, 2, 10, 20, 30, 3 }));
    EXPECT_TRUE(record->pixels.empty());
    EXPECT_EQ(record->logText.substr(0, 46), "Starting DF Test using direct connection (RGB)");

    // Without a camera: nothing received, one read.
    run(TestKind::Direct, [](CameraTests &t) { t.df_nomral_Click(); });
    EXPECT_EQ(recorder.last(TestKind::Direct)->reads, (std::vector<ReceptionRead> { { 0, 0 } }));
    EXPECT_FALSE(recorder.last(TestKind::Direct)->decoded);
}

TEST(DrawnPixelsTest, AStreamThatPushesXFarOutCostsOneEntryPerPixelAndItsImageIsCut)
{
    // 60,000 columns of one pixel each: x runs to 120,001; a dense image of
    // the bounding box would hold 120,002 x 2 pixels, the store holds what
    // was painted, and a second paint of a position replaces the first.
    std::string reply = "ACK\r" + std::string(1, '\x01');
    for (int i = 0; i < 60000; ++i)
        reply += std::string("\x02\x10\x20\x30", 4);
    reply += std::string("\x01\x40\x50\x60\x03\x00", 6); // a second frame repaints (0, 0) and (1, 0)
    FakePlatform f;
    FrameRecord record;
    RecordingPictureSurface surface(f.pic, record);
    FakeEventPump events;
    DecodeFrameStream(reply, surface, events);

    EXPECT_EQ(record.pixels.size(), 120000u + 2u);
    EXPECT_EQ(record.pixels.width(), 120002);
    EXPECT_EQ(record.pixels.height(), 1);
    EXPECT_EQ(record.pixels.at(0, 0), MakeColor(0x40, 0x50, 0x60));
    EXPECT_EQ(record.pixels.at(120001, 0), MakeColor(0x10, 0x20, 0x30));
    EXPECT_FALSE(record.pixels.at(120002, 0));

    const FrameImage image = RenderFrame(record.pixels);
    EXPECT_EQ(image.image.size(), QSize(4096, 1));
    EXPECT_TRUE(image.cut());
    EXPECT_EQ(CutNotice(image), "Shows 4,096 x 1 of 120,002 x 1 surface pixels.");
    EXPECT_EQ(image.image.pixel(4095, 0), qRgb(0x10, 0x20, 0x30));
}

TEST(ReceptionFiguresTest, RateAndLongestGap)
{
    const ReceptionFigures steady = FiguresOf({ { 0, 0 }, { 50, 576 }, { 100, 576 }, { 150, 576 }, { 200, 0 } });
    EXPECT_EQ(steady.reads, 5u);
    EXPECT_EQ(steady.bytes, 1728u);
    EXPECT_EQ(steady.lastBytesMs, 150);
    EXPECT_DOUBLE_EQ(steady.effectiveBytesPerSecond, 11520.0);
    EXPECT_EQ(steady.longestGapMs, 50);

    // A camera that stalls 300 ms mid-reply.
    const ReceptionFigures stalled = FiguresOf({ { 0, 0 }, { 50, 576 }, { 100, 0 }, { 400, 576 }, { 450, 0 } });
    EXPECT_EQ(stalled.longestGapMs, 350);
    EXPECT_EQ(stalled.longestGapEndsMs, 400);
    EXPECT_DOUBLE_EQ(stalled.effectiveBytesPerSecond, 1152 * 1000.0 / 400);

    EXPECT_EQ(FiguresOf({ { 0, 0 } }).effectiveBytesPerSecond, 0.0);
}

TEST(ReplyFileTest, WritesTheBytesExactlyOrSaysWhyNot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string bytes = std::string("ACK\r\x01\x00\x02\xff", 8);
    const std::string path = dir.filePath("reply.bin").toStdString();
    ASSERT_TRUE(WriteReplyFile(path, bytes));
    std::ifstream in(path, std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    EXPECT_EQ(read.str(), bytes);

    std::string error;
    EXPECT_FALSE(WriteReplyFile(dir.filePath("missing/reply.bin").toStdString(), bytes, &error));
    EXPECT_EQ(error, "No such file or directory");
}

} // namespace
