// The output of a run without a window that needs no camera: the status log
// on a stream and the run summary.
#include "headless/exit_status.h"
#include "headless/kept_run.h"
#include "headless/png_library.h"
#include "headless/reports.h"
#include "headless/stream_status_log.h"
#include "headless/summary_table.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

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

// With timestamps each output line starts with one stamp, the lines that
// continue across appends and a CR LF inside a message included.
TEST(StreamStatusLogTest, TimestampsStartEveryLine)
{
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    {
        StreamStatusLog log(out, true);
        log.reset("Starting DLL Test (RGB)");
        log.appendText("Starting Timer & Dumping Frame....");
        log.appendLine("OK");
        log.appendLine("two\r\nlines");
        log.appendLine("");
        log.appendText("left open");
        log.end();
    }
    std::fclose(out);
    const std::string text(buffer, size);
    std::free(buffer);
    const std::string stampText = R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}:\d{2} )";
    const std::regex stamp(stampText);
    EXPECT_EQ(std::regex_replace(text, std::regex("(^|\n)" + stampText), "$1"),
              "Starting DLL Test (RGB)\nStarting Timer & Dumping Frame....OK\ntwo\nlines\n\nleft open\n")
        << text;
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), stamp), std::sregex_iterator()), 6);

    // The stamp is local time with its offset from UTC: "-" west, "+" east.
    const char *zone = std::getenv("TZ");
    const std::string savedZone = zone ? zone : "";
    const auto at = std::chrono::system_clock::time_point(std::chrono::milliseconds(86'400'250));
    for (const auto &[tz, expected] : { std::pair { "<-05>5", "1970-01-01T19:00:00.250-05:00" },
                                        std::pair { "<+0530>-5:30", "1970-01-02T05:30:00.250+05:30" },
                                        std::pair { "UTC0", "1970-01-02T00:00:00.250+00:00" } }) {
        ::setenv("TZ", tz, 1);
        ::tzset();
        EXPECT_EQ(LocalIsoTime(at), expected) << tz;
    }
    if (zone)
        ::setenv("TZ", savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

// The CSV table: RFC 4180 quoting, a column per tag and per timing name
// (empty where a run did not log it), the stopped run a row too.
TEST(RunReportTest, CsvHasAHeaderAndOneRowPerRun)
{
    ReportContents report;
    report.tags = { { "operator", "Jo \"J\", line 2" } };
    ReportEntry normal;
    normal.unit = "U1,2";
    normal.test = "normal";
    normal.round = 2;
    normal.verdict.result = Verdict::Result::Failed;
    normal.verdict.reason = "frame incomplete: 17,207 of 34,408 bytes";
    normal.timings = { { "Total Time To Get Frame", 209, 209, "ms" } };
    normal.bytesReceived = 17207;
    normal.mismatch = FrameComparison {};
    normal.mismatch->camera.differing = 7;
    ReportEntry dll;
    dll.unit = "U1,2";
    dll.test = "dll";
    dll.stopped = true;
    dll.timings = { { "Total Ticks to Get Frame", 13, 13, "ms" } };
    report.runs = { normal, dll };
    const std::string csv = ReportCsv(report);
    const std::string start = IsoTime({});
    EXPECT_EQ(csv,
              "unit,operator,test,run,start,outcome,reason,Total Time To Get Frame ms,Total Ticks to Get Frame ms,"
              "bytes received,pixels differing\r\n"
              "\"U1,2\",\"Jo \"\"J\"\", line 2\",normal,2,"
                  + start
                  + ",failed,\"frame incomplete: 17,207 of 34,408 bytes\",209,,17207,7\r\n"
                    "\"U1,2\",\"Jo \"\"J\"\", line 2\",dll,1,"
                  + start + ",stopped,stopped by a signal,,13,0,\r\n");
}

// Kept files never write over another's: a name taken gets "-2".
TEST(KeptRunTest, ClaimsAFreeNameAndWritesEveryFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string name = KeptRunName("U 12/3", "normal", 37, std::chrono::system_clock::time_point {});
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(U_12_3-normal-run37-\d{8}T\d{6})"))) << name;
    KeptRun kept;
    kept.add(".bin", std::string("\0ACK", 4));
    kept.add(".log", "log\n");
    const KeptRun::Written first = kept.write(folder, name);
    const KeptRun::Written second = kept.write(folder, name);
    EXPECT_EQ(first.files, (std::vector<std::string> { folder + "/" + name + ".bin", folder + "/" + name + ".log" }));
    EXPECT_EQ(second.files,
              (std::vector<std::string> { folder + "/" + name + "-2.bin", folder + "/" + name + "-2.log" }));
    EXPECT_TRUE(first.failed.empty() && second.failed.empty());
    std::ifstream bin(first.files[0], std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(bin), {}), std::string("\0ACK", 4));
    // A writer that fails leaves no empty file behind.
    KeptRun failing;
    failing.add(".png", [](const std::string &, std::string &error) {
        error = "no PNG";
        return false;
    });
    const KeptRun::Written failed = failing.write(folder, "x");
    EXPECT_EQ(failed.failed, (std::vector<std::pair<std::string, std::string>> { { folder + "/x.png", "no PNG" } }));
    EXPECT_FALSE(std::filesystem::exists(folder + "/x.png"));
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
