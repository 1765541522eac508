#include "decode/frame_dump_decoder.h"
#include "decode/reply_walk.h"
#include "frames/atomic_file.h"
#include "frames/capture_file.h"
#include "frames/frame_compare.h"
#include "frames/last_runs.h"
#include "frames/reception_figures.h"
#include "frames/run_judgement.h"
#include "frames/summary_text.h"
#include "procedures/camera_tests.h"
#include "sim/camsim_reply.h"
#include "support/fake_platform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;

// The console's tests on fakes, recorded as the window records them.
struct RecordedConsole {
    template <typename Test> void run(TestKind kind, Test test)
    {
        Recording recorded(recorder, kind, f.platform, "/dev/camera");
        CameraTests tests(recorded.platform(), &recorded.account());
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
    LastRuns recorder;
};

class RecordedTestsTest : public ::testing::Test, protected RecordedConsole {};

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
    EXPECT_EQ(
        record->commands,
        (std::vector<RunAccount::SentCommand> { { "", 1'000'100, 5, true }, { "DF", 1'000'150, dump.size(), true } }));
    // Every read is kept, in time order, and together they bring the reply
    // in the pieces it arrived in.
    std::vector<std::size_t> brought;
    std::size_t total = 0;
    for (std::size_t i = 0; i < record->reads.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(record->reads[i].msSinceCommand, record->reads[i - 1].msSinceCommand);
        }
        total += record->reads[i].bytes;
        if (record->reads[i].bytes > 0)
            brought.push_back(record->reads[i].bytes);
    }
    EXPECT_EQ(total, dump.size());
    EXPECT_EQ(brought, (std::vector<std::size_t> { 20000, 14408 }));
    EXPECT_EQ(record->receptionEnd, ReceptionEnd::Pause);
    EXPECT_EQ(record->pauseMs, 50);
    EXPECT_EQ(record->pixels.size(), 2u * 80u * 143u);
    EXPECT_EQ(record->pixels.width(), 162);
    EXPECT_EQ(record->pixels.height(), 143);
    const camsim::Rgb last = camsim::PatternPixel(camsim::Pattern::Checker, 79, 142);
    EXPECT_EQ(record->pixels.at(161, 142), MakeColor(last.r, last.g, last.b));
    EXPECT_FALSE(record->pixels.at(1, 0));
    ASSERT_EQ(record->timings.size(), 2u);
    EXPECT_EQ(record->timings[0].name, "Total Time To Get Frame");
    EXPECT_EQ(record->timings[0].ms, record->reads.back().msSinceCommand + record->pauseMs)
        << "the reception lasted until its last read and the pause after it";
    EXPECT_EQ(record->timings[1].name, "Time to Process Frame");
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
    // Logged in whole seconds, kept in milliseconds too.
    EXPECT_EQ(
        lineMode->timings,
        (std::vector<RunTiming> { { "Total time to get frame", 75, 1, "s" }, { "Time to display frame", 0, 0, "s" } }));

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
    EXPECT_EQ(driver->timings[0], (RunTiming { "Total Ticks to Get Frame", 2988, 2988, "ms" }));

    // A later run that fails replaces the record of its test only.
    f.driver.dumpBytes.clear();
    f.driver.dumpResult = 0;
    run(TestKind::Driver, [](CameraTests &t) { t.df_dll_Click(); });
    EXPECT_NE(recorder.last(TestKind::Driver), driver);
    EXPECT_TRUE(recorder.last(TestKind::Driver)->pixels.empty());
    EXPECT_TRUE(recorder.last(TestKind::Driver)->reply == std::string(kFrameBufferSize, '\0'));
    EXPECT_EQ(recorder.last(TestKind::LineMode), lineMode);
    EXPECT_FALSE(recorder.last(TestKind::Direct));

    // A second frame start clears the driver test's picture: the record keeps
    // only what the window still shows.
    f.driver.dumpBytes = "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 1, 40, 50, 60, 3 });
    f.driver.dumpResult = 1;
    run(TestKind::Driver, [](CameraTests &t) { t.df_dll_Click(); });
    const DrawnPixels &cleared = recorder.last(TestKind::Driver)->pixels;
    EXPECT_EQ(cleared.size(), 2u);
    EXPECT_FALSE(cleared.at(2, 0));
    EXPECT_EQ(f.pic.at(2, 0), RecordingSurface::kBackground);
    EXPECT_EQ(cleared.at(2, 1), MakeColor(40, 50, 60));
}

// Each way a run can end: the account says why its reception stopped and
// how the run ended, and the one judgement of it gives the page's first line
// and the verdict's reason.
TEST_F(RecordedTestsTest, EachWayARunEndsHasItsFirstLineVerdictAndReceptionEnd)
{
    const std::string dump = camsim::DumpReply(camsim::Pattern::Bars);
    const std::string half = dump.substr(0, 17204);
    // How the page shows the reply: plain, walked as drawn, or walked although
    // the console drew nothing (a link error cut an acknowledged reply).
    enum class Shown { Plain, Walk, NotDrawnWalk };
    constexpr Shown kPlain = Shown::Plain;
    constexpr Shown kWalk = Shown::Walk;
    struct Case {
        const char *name;
        TestKind test;
        std::function<void(RecordedConsole &)> setUp;
        ReceptionEnd end;
        std::string firstLine;
        Shown shown;
        RunEnd ended;
        std::string verdict; // "" when passed; "!" before a port or driver that could not be used
    };
    // A set-up that delivers the pieces one per sleep after "DF"; the link
    // fails at the read that would bring the last one.
    const auto cutAfter = [](std::vector<std::string> pieces) {
        return [pieces](RecordedConsole &t) {
            t.f.com.answerNext("ACK\r:");
            t.f.time.onSleep = [&t, pieces, next = std::size_t { 0 }](std::int64_t) mutable {
                if (t.f.com.written.empty() || t.f.com.written.back() != "DF\r" || next == pieces.size())
                    return;
                t.f.com.receive(pieces[next++]);
                if (next == pieces.size())
                    t.f.com.failInput = LinkError(LinkError::Cause::ReadFailed, "/dev/camera: Input/output error");
            };
        };
    };
    const Case cases[] = {
        { "direct, whole", TestKind::Direct,
          [&](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.deliverAfter("DF\r", { dump });
          },
          ReceptionEnd::Pause, "Complete frame: 80 columns of 143 rows, end marker at 34,405", kWalk, RunEnd::Complete,
          "" },
        { "direct, the camera stops half way", TestKind::Direct,
          [&](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.deliverAfter("DF\r", { half });
          },
          ReceptionEnd::Pause,
          "Incomplete frame: 40 columns of 142 to 143 rows; reception stopped after 17,204 of 34,408 bytes: no byte "
          "for 50 ms",
          kWalk, RunEnd::Incomplete, "frame incomplete: 17,204 of 34,408 bytes, no byte for 50 ms" },
        { "direct, the cable is pulled half way", TestKind::Direct, cutAfter({ half, "more" }), ReceptionEnd::LinkError,
          "Link error after 17,204 bytes (/dev/camera: Input/output error): not drawn by the console; shown as its "
          "decoder would draw it",
          Shown::NotDrawnWalk, RunEnd::LinkLost, "link lost mid-reply: /dev/camera: Input/output error" },
        { "direct, refused, then the camera hangs up", TestKind::Direct,
          cutAfter({ "NCK\r" + Bytes({ 1, 2, 10, 20, 30, 3 }), "more" }), ReceptionEnd::LinkError,
          "Link error after 10 bytes (/dev/camera: Input/output error)", kPlain, RunEnd::LinkLost,
          "link lost mid-reply: /dev/camera: Input/output error" },
        { "direct, a camera that never pauses", TestKind::Direct,
          [&](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.deliverAfter("DF\r", { dump, std::string(120000, 'x'), std::string(120000, 'x'), "tail" });
          },
          ReceptionEnd::SizeLimit, "Complete frame: 80 columns of 143 rows, end marker at 34,405", kWalk,
          RunEnd::Complete, "" },
        { "direct, a camera that never pauses nor ends", TestKind::Direct,
          [&](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.deliverAfter("DF\r", { half, std::string(130000, 'x'), std::string(130000, 'x'), "tail" });
          },
          ReceptionEnd::SizeLimit,
          "Incomplete frame: 40 columns of 143 to 86,809 rows; reception stopped after 277,204 bytes: the reception's "
          "size limit, with 4 bytes more waiting",
          kWalk, RunEnd::NeverPaused, "frame incomplete: the camera did not pause within 277,204 bytes" },
        { "direct, refused", TestKind::Direct,
          [](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.deliverAfter("DF\r", { "NCK\r" + Bytes({ 1, 2, 10, 20, 30, 3 }) });
          },
          ReceptionEnd::Pause, "Not acknowledged: the reply starts with \"NCK\" 0D 01 02 0A 14 ..., not \"ACK\"",
          kPlain, RunEnd::NotAcknowledged, "the camera did not acknowledge \"DF\"" },
        { "direct, no camera", TestKind::Direct, [](RecordedConsole &) {}, ReceptionEnd::Pause,
          "No reply to \"DF\": nothing arrived (no byte for 50 ms)", kPlain, RunEnd::NotAnswered,
          "the camera did not answer the ping or \"DF\"" },
        { "line mode, whole", TestKind::LineMode,
          [](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.f.com.answerNext("ACK\r:");
              t.f.com.answerNext(camsim::LineModeReply());
          },
          ReceptionEnd::Pause, "Complete bitmap: 143 rows of 80 pixels, end markers at 1,435 and 1,436", kWalk,
          RunEnd::Complete, "" },
        { "line mode, cut short", TestKind::LineMode,
          [](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.f.com.answerNext("ACK\r:");
              t.f.com.answerNext(camsim::LineModeReply().substr(0, 700));
          },
          ReceptionEnd::Pause,
          "Incomplete bitmap: 70 rows, the last with 32 of 80 pixels, no two end markers; reception stopped after 700 "
          "bytes: no byte for 75 ms",
          kWalk, RunEnd::Incomplete, "bitmap incomplete: 700 bytes, no byte for 75 ms" },
        // The console runs its bitmap walk on any "TW" reply: the page says the walk did not start.
        { "line mode, refused", TestKind::LineMode,
          [](RecordedConsole &t) {
              t.f.com.answerNext("ACK\r:");
              t.f.com.answerNext("ACK\r:");
              t.f.com.answerNext("NCK\r:");
          },
          ReceptionEnd::Pause, "Not acknowledged: the reply starts with \"NCK\" 0D \":\", not \"ACK\"", kWalk,
          RunEnd::NotAcknowledged, "the camera did not acknowledge \"TW\"" },
        { "line mode, power mode refused", TestKind::LineMode, [](RecordedConsole &t) { t.f.com.answerNext("NCK\r:"); },
          ReceptionEnd::Unknown,
          "Not requested: the camera did not acknowledge \"PM 1\" and \"LM 1\", so \"TW\" was not sent", kPlain,
          RunEnd::NotAcknowledged, "the camera did not acknowledge \"PM 1\" and \"LM 1\"" },
        { "line mode, no camera", TestKind::LineMode, [](RecordedConsole &) {}, ReceptionEnd::Unknown,
          "Not requested: the camera did not acknowledge \"PM 1\" and \"LM 1\", so \"TW\" was not sent", kPlain,
          RunEnd::NotAnswered, "the camera did not answer \"PM 1\"" },
        { "direct, no such port", TestKind::Direct,
          [](RecordedConsole &t) {
              t.f.com.failOpen = LinkError(LinkError::Cause::NoSuchDevice, "/dev/camera: No such file or directory");
          },
          ReceptionEnd::Unknown, "Not requested: the test ended before \"DF\" was sent (see the log)", kPlain,
          RunEnd::PortUnusable, "!port missing: /dev/camera" },
        { "driver, whole", TestKind::Driver, [&](RecordedConsole &t) { t.f.driver.dumpBytes = dump; },
          ReceptionEnd::Unknown, "Complete frame: 80 columns of 143 rows, end marker at 34,405", kWalk,
          RunEnd::Complete, "" },
        { "driver, failed", TestKind::Driver, [](RecordedConsole &t) { t.f.driver.dumpResult = 0; },
          ReceptionEnd::Unknown, "CAM_DumpFrame failed (returned 0); No frame: no frame start in 40,001 bytes", kWalk,
          RunEnd::DumpFailed, "CAM_DumpFrame failed" },
        // What CAM_Init returns is not to be relied on: the library's own
        // words say whether it could use its port, and the ping and the dump
        // show that it could.
        { "driver, CAM_Init's result ignored, an end marker and no frame", TestKind::Driver,
          [](RecordedConsole &t) {
              t.f.driver.initResult = 0;
              t.f.driver.dumpBytes = "ACK\r" + Bytes({ 3 });
          },
          ReceptionEnd::Unknown, "No frame: no frame start in 40,001 bytes", kWalk, RunEnd::NothingDrawn,
          "nothing drawn: the end marker came before a frame start" },
        { "driver, the library's port is missing", TestKind::Driver,
          [](RecordedConsole &t) {
              t.f.driver.initResult = t.f.driver.pingResult = t.f.driver.dumpResult = 0;
              t.f.driver.lastError = "/dev/ttyUSB0: No such file or directory";
          },
          ReceptionEnd::Unknown, "CAM_DumpFrame failed (returned 0); No frame: no frame start in 40,001 bytes", kWalk,
          RunEnd::PortUnusable, "!port missing: /dev/ttyUSB0" },
        { "driver, an entry missing", TestKind::Driver,
          [](RecordedConsole &t) { t.f.driver.missingEntry = "CAM_DumpFrame"; }, ReceptionEnd::Unknown,
          "Not requested: CAM_DumpFrame was not called (see the log)", kPlain, RunEnd::DriverUnusable,
          "!driver library lacks an entry: undefined symbol: CAM_DumpFrame" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RecordedConsole t;
        c.setUp(t);
        t.run(c.test, [&](CameraTests &tests) {
            if (c.test == TestKind::Direct)
                tests.df_nomral_Click();
            else if (c.test == TestKind::LineMode)
                tests.df_bin_Click();
            else
                tests.df_dll_Click();
        });
        const auto record = t.recorder.last(c.test);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->receptionEnd, c.end);
        EXPECT_EQ(record->walk.has_value(), c.shown != kPlain);
        EXPECT_EQ(!record->decoded && record->walk, c.shown == Shown::NotDrawnWalk);
        EXPECT_EQ(OutcomeLine(*record), c.firstLine);
        EXPECT_EQ(record->end, c.ended);
        const Verdict verdict = JudgeRun(*record);
        const bool unreachable = c.verdict.starts_with('!');
        EXPECT_EQ(verdict.reason, unreachable ? c.verdict.substr(1) : c.verdict);
        EXPECT_EQ(verdict.result,
                  c.verdict.empty() ? Verdict::Result::Passed
                      : unreachable ? Verdict::Result::Unreachable
                                    : Verdict::Result::Failed);
        if (c.end == ReceptionEnd::SizeLimit) {
            EXPECT_EQ(ReceptionEndText(*record), "the reception's size limit, with 4 bytes more waiting") << "the tail";
        }
        if (!record->walk) {
            EXPECT_TRUE(record->pixels.empty()) << "nothing of an earlier picture is this run's";
        }
        // Saved as a capture and read back, the run is the same run: its
        // account with the walk made again from the reply, log, source and
        // picture (drawn again from the walk).
        Capture saved;
        saved.record = *record;
        saved.consoleVersion = "9.8.7";
        std::string error;
        std::optional<Capture> back = DecodeCapture(EncodeCapture(saved, false), &error);
        ASSERT_TRUE(back) << error;
        WalkReplyAgain(back->record);
        EXPECT_TRUE(static_cast<const RunAccount &>(back->record) == *record);
        EXPECT_EQ(back->record.startedAt, record->startedAt);
        EXPECT_EQ(back->record.source, record->source);
        EXPECT_EQ(back->record.logText, record->logText);
        EXPECT_EQ(back->consoleVersion, "9.8.7");
        EXPECT_EQ(DrawCapturedPixels(back->record).pixels(), record->pixels.pixels());
        if (c.shown == Shown::NotDrawnWalk) {
            // The console drew nothing; the page and Save Frame As... show the walk.
            EXPECT_TRUE(record->pixels.empty());
            EXPECT_EQ(DrawnPixelsOf(*record->walk).size(), 2 * record->walk->summary().pixels);
        }
    }
}

// The wait before the first bytes stands apart from the rate while they
// arrived, on each page.
TEST_F(RecordedTestsTest, ReceptionLinesKeepTheWaitApartFromTheRate)
{
    f.com.answerNext("ACK\r:");
    f.com.answerNext("ACK\r:");
    f.com.answerNext(camsim::LineModeReply());
    run(TestKind::LineMode, [](CameraTests &t) { t.df_bin_Click(); });
    EXPECT_EQ(ReceptionLines(*recorder.last(TestKind::LineMode)),
              (Lines { "Bytes: 1,439 in 1 read.",
                       "First bytes: at 250 ms, in the console's first read, after its 250 ms wait.",
                       "While arriving: all in one read, so no rate.", "Longest gap: 250 ms, until 250 ms.",
                       "Ended: no byte for 75 ms." }));

    const std::string dump = camsim::DumpReply(camsim::Pattern::Bars);
    f.com.answerNext("ACK\r:");
    // At the wire's pace: 576 bytes a 50 ms cycle.
    deliverAfter("DF\r", { dump.substr(0, 576), dump.substr(576, 576), dump.substr(1152, 576) });
    run(TestKind::Direct, [](CameraTests &t) { t.df_nomral_Click(); });
    const Lines direct = ReceptionLines(*recorder.last(TestKind::Direct));
    ASSERT_EQ(direct.size(), 5u);
    EXPECT_EQ(direct[1], "First bytes: at 50 ms.");
    EXPECT_EQ(direct[2], "While arriving (50 ms to 150 ms): 11,520 B/s (100.0 % of the wire's 11,520).");

    f.driver.dumpBytes = dump;
    f.driver.duringDump = [this] { f.time.nowMs += 2988; };
    run(TestKind::Driver, [](CameraTests &t) { t.df_dll_Click(); });
    EXPECT_EQ(
        ReceptionLines(*recorder.last(TestKind::Driver)),
        (Lines { "CAM_DumpFrame took 2,988 ms and returned 1.", "The library receives on its own: no reads to show.",
                 "Ended: at the end marker (34,405); the library reads up to it.",
                 "Up to it: 11,515 B/s (100.0 % of the wire's 11,520), the wait for the first byte included." }));
}

// A pixel before the first column start, then columns of one pixel each:
// the page lists two column starts one by one and three as a run.
TEST(SummaryTextTest, ColumnStartsOneByOneOrAsRuns)
{
    const auto frame = OnePixelColumnsReply;
    const auto columnLine = [](const std::string &reply) {
        for (const std::string &line : DescribeSummary(SummarizeReply(ReplyDecoder::FrameStream, reply)))
            if (line.starts_with("Column starts at "))
                return line;
        return std::string();
    };
    EXPECT_EQ(columnLine(frame(1)), "Column starts at 8.");
    EXPECT_EQ(columnLine(frame(2)), "Column starts at 8, 12.");
    EXPECT_EQ(columnLine(frame(3)), "Column starts at 8 to 16 (3, every 4).");
    EXPECT_EQ(columnLine(frame(3) + Bytes({ 0 }) + frame(2).substr(4)),
              "Column starts at 8 to 16 (3, every 4), 26, 30.");
}

TEST(DrawnPixelsTest, AStreamThatPushesXFarOutCostsOneEntryPerPixel)
{
    // 60,000 columns of one pixel each: x runs to 120,001; a dense image of
    // the bounding box would hold 120,002 x 2 pixels, the store holds what
    // was painted, and a second paint of a position replaces the first.
    std::string reply = "ACK\r" + std::string(1, '\x01');
    for (int i = 0; i < 60000; ++i)
        reply += std::string("\x02\x10\x20\x30", 4);
    // A second frame paints (0, 0) and (1, 0) and repaints (2, 0) and (3, 0).
    reply += std::string("\x01\x40\x50\x60\x02\x70\x80\x90\x03\x00", 10);
    FakePlatform f;
    FrameRecord record;
    RecordingPictureSurface surface(f.pic, record);
    FakeEventPump events;
    DecodeFrameStream(reply, surface, events);

    EXPECT_EQ(record.pixels.size(), 120000u + 2u);
    EXPECT_EQ(record.pixels.width(), 120002);
    EXPECT_EQ(record.pixels.height(), 1);
    EXPECT_EQ(record.pixels.at(0, 0), MakeColor(0x40, 0x50, 0x60));
    EXPECT_EQ(record.pixels.at(3, 0), MakeColor(0x70, 0x80, 0x90)) << "the last paint, as the window shows it";
    EXPECT_EQ(f.pic.at(3, 0), MakeColor(0x70, 0x80, 0x90));
    EXPECT_EQ(record.pixels.at(120001, 0), MakeColor(0x10, 0x20, 0x30));
    EXPECT_FALSE(record.pixels.at(120002, 0));
}

// Each paint is kept until read; a read keeps the last paint of each
// position, also for paints made after an earlier read.
TEST(DrawnPixelsTest, TheLastPaintOfAPositionIsTheOneKept)
{
    DrawnPixels pixels;
    pixels.paint(4, 1, kBlue);
    pixels.paint(4, 1, kBlack);
    pixels.paint(0, 0, kBlue);
    EXPECT_EQ(pixels.at(4, 1), kBlack);
    EXPECT_EQ(pixels.pixels(), (std::vector<DrawnPixel> { { 0, 0, kBlue }, { 4, 1, kBlack } }));
    pixels.paint(4, 1, MakeColor(1, 2, 3));
    pixels.paint(0, 0, kBlack);
    EXPECT_EQ(pixels.pixels(), (std::vector<DrawnPixel> { { 0, 0, kBlack }, { 4, 1, MakeColor(1, 2, 3) } }));
    pixels.paint(-1, 0, kBlue); // never on a surface
    EXPECT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels.width(), 5);
    EXPECT_EQ(pixels.height(), 2);
}

// The one comparison of two frames, as the compare page, the summary and
// --expect-frame count: camera pixels and surface pixels, one tolerance rule.
TEST(FrameCompareTest, FramesDifferingInKCameraPixelsDifferIn2KSurfacePixels)
{
    std::string dump = "ACK\r" + Bytes({ 1 });
    for (int column = 0; column < 80; ++column) {
        dump += Bytes({ 2 });
        for (int row = 0; row < 143; ++row)
            dump += Bytes({ 16 + column, 16 + row, 128 });
    }
    dump += Bytes({ 3 }) + "\r:";
    const auto drawn = [](const std::string &reply) {
        RecordingSurface pic;
        FakeEventPump events;
        DecodeFrameStream(reply, pic, events);
        DrawnPixels pixels;
        for (const RecordingSurface::Pixel &p : pic.calls)
            pixels.paint(p.x, p.y, p.color);
        return pixels;
    };
    std::string changed = dump;
    for (std::size_t pixel : { 0, 500, 11439 }) // a blue byte each: the markers stay
        changed[4 + 1 + 1 + (pixel / 143) * 430 + (pixel % 143) * 3 + 2] = 7;
    const DrawnPixels a = drawn(dump);
    EXPECT_EQ(a.width(), 162);
    EXPECT_EQ(a.height(), 143);
    constexpr auto kWide = CameraPixelShape::TwoWide;
    EXPECT_EQ(CompareFrames(a, drawn(dump), kWide).surface.differing, 0u);
    // Over camera pixels: each counts once, and the list gives its camera
    // column and row and its color in each frame, row by row, up to its limit.
    const FrameComparison camera = CompareFrames(a, drawn(changed), kWide, 0, 10);
    EXPECT_EQ(camera.surface.differing, 6u) << "a frame differing only in blue differs";
    EXPECT_EQ(camera.surface.compared, 2u * 80u * 143u);
    EXPECT_EQ(camera.camera.differing, 3u);
    EXPECT_EQ(camera.camera.compared, 80u * 143u);
    EXPECT_EQ(DifferingPixelsText(camera), "3 camera pixels (6 surface pixels)");
    const auto differs = [](std::int32_t column, std::int32_t row) {
        return CameraPixelDifference {
            column, row, 2 + 2 * column, row, MakeColor(16 + column, 16 + row, 128), MakeColor(16 + column, 16 + row, 7)
        };
    };
    EXPECT_EQ(camera.listed, (std::vector { differs(0, 0), differs(3, 71), differs(79, 142) }))
        << "pixel 500 is column 3, row 71; listed row by row";
    EXPECT_EQ(CompareFrames(a, drawn(changed), kWide, 0, 1).listed.size(), 1u);
    // The tolerance applies to red, green and blue alike.
    EXPECT_EQ(CompareFrames(a, drawn(changed), kWide, 120).camera.differing, 3u) << "128 - 7 is 121";
    EXPECT_EQ(CompareFrames(a, drawn(changed), kWide, 121).camera.differing, 0u);

    // A frame cut one column short: its 143 camera pixels are drawn in one only.
    const DrawnPixels short_ = drawn(dump.substr(0, dump.size() - 3 - 430) + Bytes({ 3 }) + "\r:");
    const FrameComparison cut = CompareFrames(a, short_, kWide, 255, 200);
    EXPECT_EQ(cut.surface.differing, 2u * 143u) << "no tolerance covers a pixel drawn in one only";
    EXPECT_EQ(cut.camera.differing, 143u);
    EXPECT_EQ(cut.listed.front().column, 79);
    EXPECT_FALSE(cut.listed.front().inSecond);

    // A pixel drawn before the first column start (x 0 and 1) stands before
    // camera column 0; one drawn on its right half only counts once. In line
    // mode a camera pixel is two surface pixels high.
    DrawnPixels early;
    early.paint(0, 0, kBlue);
    early.paint(1, 0, kBlue);
    early.paint(5, 0, kBlue);
    const FrameComparison alone = CompareFrames(early, DrawnPixels {}, kWide, 0, 10);
    EXPECT_EQ(alone.camera.differing, 2u);
    EXPECT_EQ(alone.listed,
              (std::vector<CameraPixelDifference> { { -1, 0, 0, 0, kBlue, std::nullopt },
                                                    { 1, 0, 4, 0, kBlue, std::nullopt } }));
    EXPECT_EQ(CompareFrames(early, DrawnPixels {}, CameraPixelShape::TwoHigh).camera.differing, 3u);
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

    // The rate while bytes arrived leaves out the wait before the first read
    // that brought any; all in one read, it is not known.
    EXPECT_EQ(stalled.firstBytesMs, 50);
    EXPECT_DOUBLE_EQ(stalled.arrivalBytesPerSecond, 576 * 1000.0 / 350);
    // Of equal gaps, the first is reported.
    const ReceptionFigures twice = FiguresOf({ { 0, 0 }, { 50, 576 }, { 200, 576 }, { 350, 576 } });
    EXPECT_EQ(twice.longestGapMs, 150);
    EXPECT_EQ(twice.longestGapEndsMs, 200);
    const ReceptionFigures oneRead = FiguresOf({ { 250, 1439 }, { 325, 0 } });
    EXPECT_EQ(oneRead.firstBytesMs, 250);
    EXPECT_EQ(oneRead.arrivalBytesPerSecond, 0.0);
}

TEST(AtomicFileTest, WritesTheBytesExactlyOrSaysWhyNot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string bytes = std::string("ACK\r\x01\x00\x02\xff", 8);
    const std::string path = dir.filePath("reply.bin").toStdString();
    ASSERT_TRUE(WriteFileAtomically(path, bytes));
    std::ifstream in(path, std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    EXPECT_EQ(read.str(), bytes);

    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir.filePath("missing/reply.bin").toStdString(), bytes, &error));
    EXPECT_EQ(error, "No such file or directory");

    // A replaced file keeps its permissions: a private file stays private.
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(WriteFileAtomically(path, "new"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777U, 0600U);
}

// A file its user may not write is refused and left as it was, as cp does,
// although its folder would allow a rename over it. Root may write any file,
// so the test writes as user nobody there.
TEST(ReplyFileTest, AReadOnlyFileIsRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("reply.bin").toStdString();
    std::ofstream(path) << "old";
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const auto refused = [&path] {
        std::string error;
        return !WriteFileAtomically(path, "new", &error) && error == "Permission denied";
    };
    bool wasRefused = false;
    if (::geteuid() == 0) {
        const uid_t nobody = 65534;
        ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0777), 0);
        ASSERT_EQ(::chown(path.c_str(), nobody, nobody), 0);
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(::setgid(nobody) == 0 && ::setuid(nobody) == 0 && refused() ? 0 : 1);
        int status = -1;
        ::waitpid(child, &status, 0);
        wasRefused = status == 0;
    } else {
        wasRefused = refused();
    }
    EXPECT_TRUE(wasRefused);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

} // namespace

// A capture's broken or foreign bytes are refused with their reason, never
// read past or trusted for a size: every cut of a good capture, and each
// field a hostile file could set.
TEST(CaptureFileTest, BrokenCapturesAreRefusedWithTheirReason)
{
    Capture good;
    good.record.test = TestKind::Direct;
    good.record.reply = "ACK\r" + std::string(40, 'x');
    good.record.reads = { { 50, 20 }, { 100, 24 } };
    good.record.commands = { { "DF", 7, 44, true } };
    good.record.timings = { { "Total Time To Get Frame", 150, 150, "ms" } };
    good.record.logText = "Ping....OK\n";
    good.record.pixels.paint(2, 0, MakeColor(1, 2, 3));
    const std::string bytes = EncodeCapture(good, true);
    std::string error;
    ASSERT_TRUE(DecodeCapture(bytes, &error)) << error;
    EXPECT_EQ(DecodeCapture(bytes, &error)->record.pixels.at(2, 0), MakeColor(1, 2, 3));
    EXPECT_LT(bytes.size(), good.record.reply.size() + 400) << "the reply is kept as bytes, the rest is small";

    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_FALSE(DecodeCapture(std::string_view(bytes).substr(0, cut), &error)) << cut;
        EXPECT_TRUE(error.starts_with("it is damaged") || error == "it is not a camconsole capture") << error;
    }
    // The first section ("RUN ") starts at 12; its length field at 16; its
    // content (version text, source text, two times, then the test) at 20.
    const auto with = [&](std::size_t at, std::string_view put) {
        std::string changed = bytes;
        changed.replace(at, put.size(), put);
        return changed;
    };
    const std::size_t runEnd = 20 + 4 + 0 + 4 + 0 + 8 + 8; // both texts empty
    const std::size_t runSection = 8 + static_cast<unsigned char>(bytes[16]);
    struct Case {
        const char *name;
        std::string bytes;
        std::string error;
    };
    const Case cases[] = {
        { "empty", "", "it is not a camconsole capture" },
        { "a PNG", "\x89PNG\r\n\x1a\n" + bytes.substr(8), "it is not a camconsole capture" },
        { "newer", with(8, "\x02"),
          "it was written by a newer camconsole (capture format version 2; this one reads version 1)" },
        { "a section longer than the file", with(16, "\xff\xff\xff\x7f"),
          "it is damaged: section \"RUN \" runs past the end of the file" },
        { "a test that does not exist", with(runEnd, "\x07"),
          "it is damaged: section \"RUN \" holds a value it can not hold" },
        { "a run end that does not exist", with(runEnd + 1, "\x63"),
          "it is damaged: section \"RUN \" holds a value it can not hold" },
        { "a version text longer than its section", with(20, "\xff\xff\xff\xff"),
          "it is damaged: section \"RUN \" holds a value it can not hold" },
        { "no end mark", bytes.substr(0, bytes.size() - 8),
          "it is damaged: it ends before its last section (cut short?)" },
        { "a section twice",
          bytes.substr(0, bytes.size() - 8) + bytes.substr(12, runSection) + bytes.substr(bytes.size() - 8),
          "it is damaged: section \"RUN \" appears twice" },
        { "no run's section first", bytes.substr(0, 12) + bytes.substr(12 + runSection),
          "it is damaged: it does not start with the run's section" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        error.clear();
        EXPECT_FALSE(DecodeCapture(c.bytes, &error));
        EXPECT_EQ(error, c.error);
    }
    // A count of reads no section could hold is refused before anything is
    // reserved for it.
    const std::size_t reads = bytes.find("READ");
    ASSERT_NE(reads, std::string::npos);
    EXPECT_FALSE(DecodeCapture(with(reads + 8, "\xff\xff\xff\xff"), &error));
    EXPECT_EQ(error, "it is damaged: section \"READ\" holds a value it can not hold");
    // Files: one larger than any capture is not read whole, a missing one
    // says so in the system's words.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string large = dir.filePath(QStringLiteral("large.camrun")).toStdString();
    ASSERT_TRUE(WriteFileAtomically(large, bytes + std::string(kMaxCaptureBytes, 'x')));
    EXPECT_FALSE(LoadCapture(large, &error));
    EXPECT_EQ(error, "it is larger than any capture (4 MiB)");
    EXPECT_FALSE(LoadCapture(dir.filePath(QStringLiteral("none.camrun")).toStdString(), &error));
    EXPECT_EQ(error, "No such file or directory");
    // A section of a later minor addition is passed over.
    std::string unknown = bytes;
    unknown.insert(bytes.size() - 8,
                   std::string("NEW!\x03\x00\x00\x00"
                               "abc",
                               11));
    EXPECT_TRUE(DecodeCapture(unknown, &error)) << error;
}
