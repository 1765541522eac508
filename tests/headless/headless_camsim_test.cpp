// camconsole --run as a user runs it: the real program with no display,
// against the simulated camera on a pseudo-terminal.
#include "sim/camsim_reply.h"
#include "support/camsim_process.h"
#include "support/console_process.h"

#include <QImage>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using Lines = std::vector<std::string>;

// A line without the number a timing label ends in (it depends on the machine).
Lines Labels(const std::string &output)
{
    Lines labels;
    for (const std::string &line : OutputLines(output))
        labels.push_back(line.substr(0, line.find_last_not_of("-0123456789") + 1));
    return labels;
}

const Lines kNormalLog = { "Starting DF Test using direct connection (RGB)",
                           "Opening Comport...",
                           "Ping....OK",
                           "Sending Command & Starting Frame Dump Timer...",
                           "Total Time To Get Frame:",
                           "Dumping Frame...",
                           "Time to Process Frame: " };
const Lines kBinaryLog = { "Starting LineMode Test", "Starting Timer", "Stopping Timer",
                           "Total time to get frame: ", "Time to display frame: " };
const Lines kDllLog = { "Starting DLL Test (RGB)",
                        "Connecting to COM device",
                        "Ping....OK",
                        "Starting Timer & Dumping Frame....OK",
                        "Image Dump CompleteTotal Ticks to Get Frame: ",
                        "Total Ticks to Process Frame: " };

Lines Concat(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<std::string> RunArgs(const CamsimProcess &camera, std::vector<std::string> more)
{
    std::vector<std::string> args = { "--port", camera.linkPath(), "--driver", TARQIS_LIBRARY };
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The environment that makes the dynamic loader record the libraries it
// loads for a console (LD_DEBUG=files) in files in dir.
std::vector<std::string> LoaderRecording(const std::string &dir)
{
    return { "LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + dir + "/loader" };
}

// The record LoaderRecording(dir) made, taken out of dir.
std::string LoadedLibraries(const std::string &dir)
{
    std::string record;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().starts_with("loader.")) {
            record += ReadFile(entry.path().string());
            std::filesystem::remove(entry.path());
        }
    }
    return record;
}

bool Loaded(const std::string &record, const std::string &library)
{
    return record.find("file=" + library) != std::string::npos || record.find("/" + library) != std::string::npos;
}

QRgb Rgb(camsim::Pattern pattern, int column, int row)
{
    const camsim::Rgb c = camsim::PatternPixel(pattern, column, row);
    return qRgb(c.r, c.g, c.b);
}

TEST(HeadlessRunTest, NormalPrintsItsLogAndSavesPictureFrameAndReply)
{
    CamsimProcess camera({ "--fast", "--pattern", "checker" });
    const std::string dir = camera.directory();
    ConsoleProcess console(RunArgs(camera,
                                   { "--run", "normal", "--save-picture", dir + "/picture.png", "--save-frame",
                                     dir + "/frame.png", "--save-reply", dir + "/reply.bin" }));
    ASSERT_EQ(console.wait(), 0) << console.err();
    EXPECT_EQ(Labels(console.out()), kNormalLog);
    EXPECT_EQ(console.err(), "");

    EXPECT_TRUE(ReadFile(dir + "/reply.bin") == camsim::DumpReply(camsim::Pattern::Checker)) << "byte for byte";

    // The whole frame: 80 camera columns two pixels wide from x 2, 143 rows.
    const QImage frame(QString::fromStdString(dir + "/frame.png"));
    ASSERT_EQ(frame.size(), QSize(162, 143));
    for (int y : { 0, 71, 142 }) {
        EXPECT_EQ(qAlpha(frame.pixel(0, y)), 0) << "x 0 and 1 are never drawn";
        EXPECT_EQ(qAlpha(frame.pixel(1, y)), 0);
    }
    for (int column : { 0, 40, 79 }) {
        for (int row : { 0, 116, 142 }) {
            EXPECT_EQ(frame.pixel(2 + 2 * column, row), Rgb(camsim::Pattern::Checker, column, row));
            EXPECT_EQ(frame.pixel(3 + 2 * column, row), Rgb(camsim::Pattern::Checker, column, row));
        }
    }

    // The picture as the window shows it: clipped to 133 x 117.
    QImage picture(QString::fromStdString(dir + "/picture.png"));
    ASSERT_EQ(picture.size(), QSize(133, 117));
    EXPECT_EQ(picture.pixel(2 + 2 * 17, 58), Rgb(camsim::Pattern::Checker, 17, 58));
    EXPECT_EQ(picture.pixel(132, 116), Rgb(camsim::Pattern::Checker, 65, 116));
    EXPECT_EQ(picture.pixel(0, 5), qRgb(0xEF, 0xEF, 0xEF)) << "the window's clear color where nothing is drawn";
}

// A run without a window (and --version) never loads Qt Widgets or the
// window's library, and loads Qt Gui only with the PNG writers' library,
// to write a picture or a frame.
TEST(HeadlessRunTest, LoadsQtGuiOnlyToWriteAPngAndQtWidgetsNever)
{
    CamsimProcess camera({ "--fast" });
    const std::string dir = camera.directory();
    const std::pair<std::vector<std::string>, bool> runs[] = {
        { { "--version" }, false },
        { RunArgs(camera, { "--run", "normal,binary,dll" }), false },
        { RunArgs(camera, { "--run", "binary", "--save-reply", dir + "/reply.bin" }), false },
        { RunArgs(camera,
                  { "--run", "normal", "--save-picture", dir + "/picture.png", "--save-frame", dir + "/frame.png" }),
          true },
    };
    for (const auto &[args, writesPng] : runs) {
        SCOPED_TRACE(args.back());
        ConsoleProcess console(args, LoaderRecording(dir));
        ASSERT_EQ(console.wait(), 0) << console.err();
        const std::string loaded = LoadedLibraries(dir);
        EXPECT_TRUE(Loaded(loaded, "libQt6Core.so.6")) << loaded;
        EXPECT_FALSE(Loaded(loaded, "libQt6Widgets.so.6"));
        EXPECT_EQ(Loaded(loaded, "libQt6Gui.so.6"), writesPng);
        EXPECT_EQ(Loaded(loaded, "libcamconsole_image.so"), writesPng);
        EXPECT_FALSE(Loaded(loaded, "libcamconsole_window.so"));
    }
}

TEST(HeadlessRunTest, BinaryAndDllPrintTheirLogsAndSaveTheirReplies)
{
    CamsimProcess camera({ "--fast" });
    const std::string reply = camera.directory() + "/reply.bin";
    const std::pair<const char *, Lines> runs[] = { { "binary", kBinaryLog }, { "dll", kDllLog } };
    for (const auto &[test, log] : runs) {
        SCOPED_TRACE(test);
        ConsoleProcess console(RunArgs(camera, { "--run", test, "--save-reply", reply }));
        ASSERT_EQ(console.wait(), 0) << console.err();
        EXPECT_EQ(Labels(console.out()), log);
        EXPECT_EQ(console.err(), "");
        if (std::string(test) == "binary") {
            EXPECT_TRUE(ReadFile(reply) == camsim::LineModeReply());
        } else {
            // The driver's whole buffer: the reply up to the frame's end marker, zeros after it.
            const std::string dump = camsim::DumpReply(camsim::Pattern::Bars);
            const std::string buffer = ReadFile(reply);
            ASSERT_EQ(buffer.size(), 40001u);
            const std::size_t end = dump.size() - 2; // the "\r:" after the end marker stays unread
            EXPECT_TRUE(buffer.substr(0, end) == dump.substr(0, end));
            EXPECT_EQ(buffer.find_first_not_of('\0', end), std::string::npos);
        }
    }
    EXPECT_EQ(camera.receivedCommands(), Lines({ "PM 1", "LM 1", "TW", "", "DF" }));
}

TEST(HeadlessRunTest, RepeatedRunsEndWithASummary)
{
    CamsimProcess camera({ "--fast" });
    ConsoleProcess console(RunArgs(camera, { "--run", "normal,dll", "--repeat", "2" }));
    ASSERT_EQ(console.wait(), 0) << console.err();
    const Lines lines = OutputLines(console.out());
    const Lines logs = Concat({ kNormalLog, kDllLog, kNormalLog, kDllLog });
    ASSERT_EQ(lines.size(), logs.size() + 8) << console.out();
    EXPECT_EQ(Labels(console.out().substr(0, console.out().find("\n\n") + 1)), logs);
    // Exact lines, and timing lines by their start (the figures depend on the machine).
    const Lines summary = { "",
                            "normal: 2 runs, 2 successes, 0 failures",
                            "  Total Time To Get Frame: min ",
                            "  Time to Process Frame: min ",
                            "dll: 2 runs, 2 successes, 0 failures",
                            "  Total Ticks to Get Frame: min ",
                            "  Total Ticks to Process Frame: min ",
                            "Last direct and driver frames differ in 0 surface pixels" };
    for (std::size_t i = 0; i < summary.size(); ++i) {
        const std::string &line = lines[logs.size() + i];
        if (summary[i].ends_with("min "))
            EXPECT_TRUE(line.starts_with(summary[i]) && line.find(", median ") != std::string::npos
                        && line.ends_with(" ms"))
                << line;
        else
            EXPECT_EQ(line, summary[i]);
    }
    EXPECT_EQ(camera.receivedCommands(), Lines({ "", "DF", "", "DF", "", "DF", "", "DF" }));
}

TEST(HeadlessRunTest, FailuresExitWith1AndPortOrDriverErrorsWith3)
{
    {
        CamsimProcess camera({ "--fast", "--fault", "DF=short" });
        ConsoleProcess console(RunArgs(camera, { "--run", "normal" }));
        EXPECT_EQ(console.wait(), 1);
        EXPECT_NE(console.out().find("\nFrame incomplete: the end marker did not arrive\n"), std::string::npos)
            << console.out();
        EXPECT_EQ(console.err(), "");
    }
    {
        ConsoleProcess console({ "--port", "/nonexistent/camconsole-port", "--run", "normal" });
        EXPECT_EQ(console.wait(), 3);
        const std::string portText = "/nonexistent/camconsole-port: No such file or directory\nHint: wrong port, or "
                                     "the adapter is unplugged.\n";
        EXPECT_EQ(console.out(), "Serial port error: " + portText);
        EXPECT_EQ(console.err(), portText);
    }
    {
        ConsoleProcess console({ "--driver", "/nonexistent/libtarqis.so", "--run", "dll" });
        EXPECT_EQ(console.wait(), 3);
        const std::string loaderText = "/nonexistent/libtarqis.so: cannot open shared object file: No such file or "
                                       "directory";
        EXPECT_EQ(console.out(),
                  "Starting DLL Test (RGB)\nConnecting to COM device\nDriver library error: " + loaderText + "\n");
        EXPECT_EQ(console.err(), loaderText + "\n");
    }
}

TEST(HeadlessRunTest, UsageErrorsExitWithStatus2)
{
    const std::vector<std::string> cases[] = {
        { "--bogus" },
        { "--run" },
        { "--run", "normal,color" },
        { "--run", "normal,dll", "--save-frame", "frame.png" },
        { "--run", "normal", "--repeat", "0" },
    };
    for (const auto &args : cases) {
        SCOPED_TRACE(args.back());
        ConsoleProcess console(args);
        EXPECT_EQ(console.wait(), 2);
        EXPECT_EQ(console.out(), "");
        EXPECT_EQ(console.err().rfind("camconsole: ", 0), 0u) << console.err();
    }
    ConsoleProcess help({ "--help" });
    EXPECT_EQ(help.wait(), 0);
    EXPECT_EQ(help.out().rfind("Usage: ", 0), 0u) << help.out();
}

TEST(HeadlessRunTest, SignalsEndTheRunAtTheNextEventPointWithTheSummary)
{
    CamsimProcess camera; // wire pace: the dump takes about 3 s
    for (const auto &[signal, status] : { std::pair { SIGINT, 130 }, std::pair { SIGTERM, 143 } }) {
        SCOPED_TRACE(status);
        ConsoleProcess console(RunArgs(camera, { "--run", "normal,binary" }));
        ASSERT_TRUE(console.waitForOutput("Sending Command & Starting Frame Dump Timer...\n")) << console.out();
        console.signal(signal);
        EXPECT_EQ(console.wait(), status);
        EXPECT_EQ(OutputLines(console.out()),
                  Lines({ "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....OK",
                          "Sending Command & Starting Frame Dump Timer...", "",
                          "normal: 0 runs, 0 successes, 0 failures", "binary: 0 runs, 0 successes, 0 failures" }));
    }
    EXPECT_EQ(camera.receivedCommands(), Lines({ "", "DF", "", "DF" })) << "binary never started";
}

} // namespace
