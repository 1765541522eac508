// The output of a run without a window that needs no camera: the status log
// on a stream and the run summary.
#include "headless/run_summary.h"
#include "headless/stream_status_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

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
    RunSummary summary;
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
