// The output of a run without a window that needs no camera: the status log
// on a stream and the run summary.
#include "headless/exit_status.h"
#include "headless/png_library.h"
#include "headless/stream_status_log.h"
#include "headless/summary_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

namespace {

TEST(ExitStatusTest, TheMostSeriousCauseWinsWhateverTheOrder)
{
    // Least serious first; a usage error ends the program before any other
    // cause can meet it, so it outranks them all.
    const std::pair<ExitCause, int> order[] = {
        { ExitCause::AllSucceeded, 0 }, { ExitCause::CameraFailed, 1 }, { ExitCause::OutputFailed, 4 },
        { ExitCause::Unreachable, 3 },  { ExitCause::UsageError, 2 },
    };
    for (std::size_t a = 0; a < std::size(order); ++a) {
        EXPECT_EQ(ExitStatusOf(order[a].first), order[a].second);
        for (std::size_t b = 0; b < std::size(order); ++b) {
            SCOPED_TRACE(std::to_string(order[a].second) + " then " + std::to_string(order[b].second));
            ExitStatus status;
            status.note(order[a].first);
            status.note(order[b].first);
            EXPECT_EQ(status.status(), order[std::max(a, b)].second);
        }
    }
}

TEST(PngLibraryTest, ALibraryThatCannotBeLoadedIsNamedInTheLoadersWords)
{
    // The reason of "cannot write file f.png: ..." when the image library is
    // not where the console looks for it.
    std::string error;
    EXPECT_EQ(LoadPngWriters(error, "libcamconsole_nowhere.so"), nullptr);
    EXPECT_NE(error.find("libcamconsole_nowhere.so"), std::string::npos) << error;
}

TEST(StreamStatusLogTest, WritesTheLogAsTheWindowReadsIt)
{
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    {
        StreamStatusLog log(out);
        log.reset("Starting DLL Test (RGB)");
        log.appendText("Starting Timer & Dumping Frame....");
        log.appendLine("OK");
        log.appendText("Image Dump Complete");
        log.appendLine("Total Ticks to Get Frame: 12");
        log.appendText("left open");
        log.reset("Starting LineMode Test"); // a new log starts on a line of its own
        log.appendText("open at the end");
        log.end();
        log.end();
    }
    std::fclose(out);
    EXPECT_EQ(std::string(buffer, size),
              "Starting DLL Test (RGB)\nStarting Timer & Dumping Frame....OK\nImage Dump CompleteTotal Ticks to Get "
              "Frame: 12\nleft open\nStarting LineMode Test\nopen at the end\n");
    std::free(buffer);
}

// Timings are summed up over the successful runs only; the failed and the
// stopped runs are counted beside them.
TEST(RunSummaryTest, CountsAndTimingsPerTest)
{
    SummaryTable summary;
    summary.listTest("normal");
    summary.listTest("binary");
    summary.listTest("dll");
    for (std::int64_t value : { 30, 10, 20, 4000 })
        summary.add("normal", value != 4000,
                    { { "Total Time To Get Frame", value, value, "ms" },
                      { "Time to Process Frame", value / 10 - 2, value / 10 - 2, "ms" } });
    summary.add("dll", true, { { "Total Ticks to Get Frame", 7, 7, "ms" } });
    summary.add("dll", true, {});
    summary.addStopped("binary");
    EXPECT_EQ(summary.text(),
              "normal: 4 runs, 3 successes, 1 failure\n"
              "  Total Time To Get Frame: min 10, median 20, max 30 ms (over 3 successful runs, not the 1 failed)\n"
              "  Time to Process Frame: min -1, median 0, max 1 ms (over 3 successful runs, not the 1 failed)\n"
              "binary: 1 run, 0 successes, 0 failures, 1 stopped\n"
              "dll: 2 runs, 2 successes, 0 failures\n"
              "  Total Ticks to Get Frame: min 7, median 7, max 7 ms (logged in 1 of 2 successful runs)\n");

    // Only frames that drew something are compared.
    summary.setComparison({});
    EXPECT_TRUE(summary.text().ends_with("of 2 successful runs)\n"));
    FrameComparison flipped;
    flipped.surface = { 14, 22880 };
    flipped.camera = { 7, 11440 };
    summary.setComparison(flipped);
    EXPECT_TRUE(
        summary.text().ends_with("Last direct and driver frames differ in 7 camera pixels (14 surface pixels)\n"));
}

} // namespace
