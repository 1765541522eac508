// camconsole --run as a user runs it: the real program with no display,
// against the simulated camera on a pseudo-terminal.
#include "cli/command_line.h"
#include "frames/capture_file.h"
#include "frames/capture_format.h"
#include "sim/camsim_reply.h"
#include "support/camsim_process.h"
#include "support/console_process.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>

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

// What in value the schema's "type", "required", "properties", "items" and
// "enum" keywords reject, one line each; empty when nothing.
std::string SchemaProblems(const QJsonObject &schema, const QJsonValue &value, const std::string &where)
{
    std::string problems;
    QStringList types;
    if (schema[QStringLiteral("type")].isArray()) {
        for (const QJsonValue &type : schema[QStringLiteral("type")].toArray())
            types << type.toString();
    } else if (schema.contains(QStringLiteral("type"))) {
        types << schema[QStringLiteral("type")].toString();
    }
    const auto is = [&value](const QString &type) {
        if (type == QLatin1String("object"))
            return value.isObject();
        if (type == QLatin1String("array"))
            return value.isArray();
        if (type == QLatin1String("string"))
            return value.isString();
        if (type == QLatin1String("boolean"))
            return value.isBool();
        if (type == QLatin1String("null"))
            return value.isNull();
        if (type == QLatin1String("integer"))
            return value.isDouble() && value.toDouble() == static_cast<double>(value.toInteger());
        return type == QLatin1String("number") && value.isDouble();
    };
    if (!types.isEmpty() && std::none_of(types.begin(), types.end(), is))
        return where + ": not of type " + types.join(QLatin1Char('|')).toStdString() + "\n";
    if (schema.contains(QStringLiteral("enum")) && !schema[QStringLiteral("enum")].toArray().contains(value))
        problems += where + ": not one of the schema's values\n";
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (const QJsonValue &name : schema[QStringLiteral("required")].toArray()) {
            if (!object.contains(name.toString()))
                problems += where + ": lacks " + name.toString().toStdString() + "\n";
        }
        const QJsonObject properties = schema[QStringLiteral("properties")].toObject();
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            if (object.contains(it.key()))
                problems
                    += SchemaProblems(it.value().toObject(), object[it.key()], where + "." + it.key().toStdString());
        }
    }
    if (value.isArray() && schema.contains(QStringLiteral("items"))) {
        const QJsonArray items = value.toArray();
        for (qsizetype i = 0; i < items.size(); ++i)
            problems += SchemaProblems(schema[QStringLiteral("items")].toObject(), items[i],
                                       where + "[" + std::to_string(i) + "]");
    }
    return problems;
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

// The rows of an RFC 4180 table, read as a spreadsheet reads it.
std::vector<Lines> CsvRows(const std::string &text)
{
    std::vector<Lines> rows(1, Lines(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool pair = i + 1 < text.size() && text[i + 1] == (c == '"' ? '"' : '\n');
        if (quoted && c == '"' && pair) {
            rows.back().back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            rows.back().emplace_back();
        } else if (!quoted && c == '\r' && pair) {
            rows.emplace_back(1);
            ++i;
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back(); // after the last line end
    return rows;
}

int Count(const std::string &text, const std::string &part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
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
    EXPECT_EQ(Labels(console.out()), Concat({ kNormalLog, { "camconsole: normal: passed" } }));
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
        // The reports are written without Qt Gui; the expected frame is read
        // through the image layer's library.
        { RunArgs(camera, { "--run", "normal", "--report", dir + "/report.json", "--junit", dir + "/junit.xml" }),
          false },
        { RunArgs(camera, { "--run", "normal", "--expect-frame", dir + "/frame.png" }), true },
    };
    for (const auto &[args, writesPng] : runs) {
        SCOPED_TRACE(args.back());
        ConsoleProcess console(args, LoaderRecording(dir));
        // Only the loader's record counts here: a run that the camera cut
        // (exit 1) loaded what it loaded all the same.
        ASSERT_NE(console.wait(), -1) << "hung";
        ASSERT_EQ(console.endedBySignal(), 0) << console.err();
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
        EXPECT_EQ(Labels(console.out()), Concat({ log, { "camconsole: " + std::string(test) + ": passed" } }));
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
    const Lines logs = Concat({ kNormalLog,
                                { "camconsole: normal, run 1 of 2: passed" },
                                kDllLog,
                                { "camconsole: dll, run 1 of 2: passed" },
                                kNormalLog,
                                { "camconsole: normal, run 2 of 2: passed" },
                                kDllLog,
                                { "camconsole: dll, run 2 of 2: passed" } });
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
                            "Last direct and driver frames differ in 0 camera pixels" };
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
        const std::string portText = "/nonexistent/camconsole-port: No such file or directory\n";
        EXPECT_EQ(console.out(),
                  "Serial port error: " + portText
                      + "Hint: wrong port, or the adapter is unplugged.\ncamconsole: normal: failed: port missing: "
                        "/nonexistent/camconsole-port\n");
        // Standard error has the port doctor's diagnosis (what exists depends
        // on the machine).
        EXPECT_TRUE(console.err().starts_with(portText
                                              + "/nonexistent/camconsole-port does not exist: wrong port, or the "
                                                "adapter is unplugged.\nThe system lists "))
            << console.err();
        EXPECT_TRUE(console.err().ends_with("\nFix: name an existing port with --port DEVICE (or CAMCONSOLE_PORT1), "
                                            "or plug the adapter in.\n"))
            << console.err();
    }
    {
        ConsoleProcess console({ "--driver", "/nonexistent/libtarqis.so", "--run", "dll" });
        EXPECT_EQ(console.wait(), 3);
        const std::string loaderText = "/nonexistent/libtarqis.so: cannot open shared object file: No such file or "
                                       "directory";
        EXPECT_EQ(console.out(),
                  "Starting DLL Test (RGB)\nConnecting to COM device\nDriver library error: " + loaderText
                      + "\ncamconsole: dll: failed: driver library could not be loaded: " + loaderText + "\n");
        EXPECT_EQ(console.err(), loaderText + "\n");
    }
}

// Holds a device the way another program holding the port does.
class PortHolder {
public:
    explicit PortHolder(const std::string &device) : m_fd(::open(device.c_str(), O_RDWR | O_NOCTTY))
    {
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
            ADD_FAILURE() << "cannot hold " << device;
    }
    ~PortHolder() { ::close(m_fd); }
    PortHolder(const PortHolder &) = delete;
    PortHolder &operator=(const PortHolder &) = delete;

private:
    int m_fd;
};

// One exit status per cause, whichever test meets it: one row per cell.
TEST(HeadlessRunTest, EachCauseGivesItsExitStatusInEveryTest)
{
    enum class Cause {
        MissingPort,
        BusyPort,
        MissingDriver,
        SilentCamera,
        CutReply,
        LinkLost,
        EndBeforeStart,
        SilentAndJunitUnwritable
    };
    struct Row {
        Cause cause;
        const char *test;
        int status;
        const char *reason; // the verdict's reason starts so
    };
    const Row rows[] = {
        { Cause::MissingPort, "normal", 3, "port missing: " },
        { Cause::MissingPort, "binary", 3, "port missing: " },
        { Cause::MissingPort, "dll", 3, "port missing: " },
        { Cause::BusyPort, "normal", 3, "port busy: " },
        { Cause::BusyPort, "binary", 3, "port busy: " },
        { Cause::BusyPort, "dll", 3, "port busy: " },
        { Cause::MissingDriver, "normal", 0, "" },
        { Cause::MissingDriver, "binary", 0, "" },
        { Cause::MissingDriver, "dll", 3, "driver library could not be loaded: " },
        { Cause::SilentCamera, "normal", 1, "the camera did not answer the ping or \"DF\"" },
        { Cause::SilentCamera, "binary", 1, "the camera did not answer \"PM 1\"" },
        { Cause::SilentCamera, "dll", 1, "the camera did not answer the ping" },
        { Cause::CutReply, "normal", 1, "frame incomplete: " },
        { Cause::CutReply, "binary", 1, "bitmap incomplete: " },
        { Cause::CutReply, "dll", 1, "the frame stopped before its end marker" },
        { Cause::LinkLost, "normal", 1, "link lost mid-reply: " },
        { Cause::LinkLost, "binary", 1, "link lost mid-reply: " },
        { Cause::LinkLost, "dll", 1, "" },
        { Cause::EndBeforeStart, "dll", 1, "nothing drawn: " },
        // An unwritable report outranks a camera failure, and the JSON report
        // says the status the process ends with.
        { Cause::SilentAndJunitUnwritable, "normal", 4, "the camera did not answer the ping or \"DF\"" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.test) + " cause " + std::to_string(static_cast<int>(row.cause)));
        const std::string command = std::string(row.test) == "binary" ? "TW" : "DF";
        std::vector<std::string> camsimArgs = { "--fast" };
        if (row.cause == Cause::SilentCamera || row.cause == Cause::SilentAndJunitUnwritable)
            camsimArgs = { "--fast", "--fault", "silent" };
        if (row.cause == Cause::CutReply)
            camsimArgs.insert(camsimArgs.end(), { "--fault", command + "=short" });
        if (row.cause == Cause::LinkLost)
            camsimArgs.insert(camsimArgs.end(), { "--fault", command + "=hangup" });
        CamsimProcess camera(camsimArgs);
        std::vector<std::string> args = RunArgs(camera, { "--run", row.test });
        std::optional<PortHolder> holder;
        if (row.cause == Cause::MissingPort)
            args[1] = "/nonexistent/camconsole-port";
        if (row.cause == Cause::BusyPort)
            holder.emplace(camera.devicePath());
        if (row.cause == Cause::MissingDriver)
            args[3] = "/nonexistent/libtarqis.so";
        if (row.cause == Cause::EndBeforeStart) {
            args[3] = FAKE_DRIVER_LIBRARY;
            ::setenv("FAKE_DRIVER_DUMP", "end-first", 1);
        }
        const std::string report = camera.directory() + "/report.json";
        if (row.cause == Cause::SilentAndJunitUnwritable)
            args.insert(args.end(), { "--report", report, "--junit", "/dev/full" });
        ConsoleProcess console(args);
        EXPECT_EQ(console.wait(), row.status) << console.out() << console.err();
        ::unsetenv("FAKE_DRIVER_DUMP");
        if (row.cause == Cause::SilentAndJunitUnwritable) {
            const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(report))).object();
            EXPECT_EQ(json.value("summary").toObject().value("exitStatus").toInt(), 4);
        }
        const std::string verdict = "camconsole: " + std::string(row.test)
            + (row.status == 0 ? ": passed" : ": failed: " + std::string(row.reason));
        const Lines lines = OutputLines(console.out());
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.back().starts_with(verdict)) << lines.back();
    }
}

// A frame saved from a good run is the expected frame of the next; camsim's
// "flip" fault changes 7 camera pixels of it. The reports of the failed runs
// follow their schema.
TEST(HeadlessRunTest, ExpectedFramesJudgeTheRunAndTheReportsSayWhy)
{
    CamsimProcess camera({ "--fast", "--fault", "DF=flip" });
    const std::string good = camera.directory() + "/good.png";
    {
        CamsimProcess healthy({ "--fast" });
        ConsoleProcess saving(RunArgs(healthy, { "--run", "normal", "--save-frame", good }));
        EXPECT_EQ(saving.wait(), 0) << saving.err();
        ConsoleProcess judged(RunArgs(healthy, { "--run", "normal,dll", "--expect-frame", good }));
        EXPECT_EQ(judged.wait(), 0) << judged.out() << judged.err();
    }
    const std::string report = camera.directory() + "/report.json";
    const std::string junit = camera.directory() + "/junit.xml";
    ConsoleProcess console(
        RunArgs(camera, { "--run", "normal,dll", "--expect-frame", good, "--report", report, "--junit", junit }));
    EXPECT_EQ(console.wait(), 1) << console.err();
    const std::string differs = ": failed: frame differs from the expected one in 7 camera pixels (14 surface "
                                "pixels), the first at column 0, row 0";
    EXPECT_NE(console.out().find("\ncamconsole: normal" + differs + "\n"), std::string::npos) << console.out();
    EXPECT_NE(console.out().find("\ncamconsole: dll" + differs + "\n"), std::string::npos) << console.out();
    // A capture of such a run, judged later without a camera: the same log,
    // verdict line and exit status.
    const std::string capture = camera.directory() + "/flip.camrun";
    ConsoleProcess capturing(RunArgs(camera, { "--run", "normal", "--save-run", capture }));
    EXPECT_EQ(capturing.wait(), 0) << capturing.err();
    ConsoleProcess offline({ "--open", capture, "--expect-frame", good });
    EXPECT_EQ(offline.wait(), 1) << offline.err();
    EXPECT_EQ(offline.out().substr(offline.out().find("\ncamconsole: ")), "\ncamconsole: normal" + differs + "\n");
    EXPECT_EQ(Labels(offline.out()).front(), kNormalLog.front()) << offline.out();

    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(report)));
    const QJsonDocument schema = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(REPORT_SCHEMA)));
    ASSERT_TRUE(document.isObject());
    ASSERT_TRUE(schema.isObject());
    EXPECT_EQ(SchemaProblems(schema.object(), document.object(), "report"), "");
    const QJsonArray runs = document.object()[QStringLiteral("runs")].toArray();
    ASSERT_EQ(runs.size(), 2);
    const QJsonObject differing = runs[0].toObject()[QStringLiteral("differingPixels")].toObject();
    EXPECT_EQ(differing[QStringLiteral("cameraPixels")].toInt(), 7);
    EXPECT_EQ(differing[QStringLiteral("listed")].toArray().size(), 7);
    // The bytes each test received: the whole reply, and what the driver
    // filled of its buffer (the reply less its "\r:" prompt).
    EXPECT_EQ(runs[0].toObject()[QStringLiteral("bytesReceived")].toInt(), int(camsim::kDumpReplySize));
    EXPECT_EQ(runs[1].toObject()[QStringLiteral("bytesReceived")].toInt(), int(camsim::kDumpReplySize) - 2);
    EXPECT_EQ(document.object()[QStringLiteral("summary")].toObject()[QStringLiteral("exitStatus")].toInt(), 1);

    QFile junitFile(QString::fromStdString(junit));
    ASSERT_TRUE(junitFile.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&junitFile);
    int suites = 0;
    int cases = 0;
    int failures = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        suites += xml.name() == QLatin1String("testsuite");
        cases += xml.name() == QLatin1String("testcase");
        failures += xml.name() == QLatin1String("failure");
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(suites, 1);
    EXPECT_EQ(cases, 2);
    EXPECT_EQ(failures, 2);
}

// Regression tests written from captures (tests/data, saved with
// --save-run from camsim's faults): camsim replays each, and the console
// logs, judges and receives the run as it did then.
TEST(HeadlessRunTest, ReplayedCapturesGiveTheCapturedLogReplyAndVerdict)
{
    const std::pair<const char *, const char *> captures[] = {
        { "cut-frame.camrun",
          "camconsole: normal: failed: frame incomplete: 17,207 of 34,408 bytes, no byte for 50 ms" },
        { "refused-dump.camrun", "camconsole: normal: failed: the camera did not acknowledge \"DF\"" },
    };
    for (const auto &[file, verdict] : captures) {
        SCOPED_TRACE(file);
        const std::string path = std::string(CAPTURE_DATA) + "/" + file;
        std::string error;
        const std::optional<Capture> captured = DecodeCapture(ReadFile(path), &error);
        ASSERT_TRUE(captured) << error;
        // At the wire's pace camsim queues the reply ahead with its relays,
        // as it does a live reply, so a stop of the machine does not change
        // it; the captured pace (camsim holding each read's piece back until
        // its time) is checked in virtual time with the pacer.
        CamsimProcess camera({ "--replay", path, "--replay-pace", "wire" });
        const std::string reply = camera.directory() + "/reply.bin";
        ConsoleProcess console(RunArgs(camera, { "--run", "normal", "--save-reply", reply }));
        EXPECT_EQ(console.wait(), 1) << console.err();
        std::string log = captured->record.logText; // the window's line ends
        std::erase(log, '\r');
        EXPECT_EQ(Labels(console.out()), Labels(log + verdict)) << console.out() << camera.stderrText();
        EXPECT_TRUE(ReadFile(reply) == captured->record.reply);
        EXPECT_EQ(console.err(), "");
    }
}

// A save onto a full file system keeps the earlier file whole and exits 4.
TEST(HeadlessRunTest, ASaveOntoAFullDiskKeepsTheEarlierFile)
{
    CamsimProcess camera({ "--fast" });
    const std::string disk = camera.directory() + "/disk";
    ASSERT_EQ(::mkdir(disk.c_str(), 0700), 0);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount { disk };
    const std::string reply = disk + "/reply.bin";
    {
        std::ofstream(reply, std::ios::binary) << std::string(20000, 'e');
        std::ofstream filler(disk + "/filler", std::ios::binary);
        filler << std::string(30000, 'f');
    }
    ConsoleProcess console(RunArgs(camera, { "--run", "normal", "--save-reply", reply }));
    EXPECT_EQ(console.wait(), 4);
    EXPECT_EQ(console.err(), "camconsole: cannot write file " + reply + ": No space left on device\n");
    EXPECT_TRUE(ReadFile(reply) == std::string(20000, 'e')) << "the earlier file, whole";
    int files = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(disk))
        ++files;
    EXPECT_EQ(files, 2) << "no temporary file left behind";
}

// A second signal ends a run stuck in a driver call at once.
TEST(HeadlessRunTest, ASecondSignalEndsARunStuckInTheDriver)
{
    ::setenv("FAKE_DRIVER_DUMP", "hang", 1);
    ConsoleProcess console({ "--driver", FAKE_DRIVER_LIBRARY, "--run", "dll" });
    ::unsetenv("FAKE_DRIVER_DUMP");
    ASSERT_TRUE(console.waitForOutput("Starting Timer & Dumping Frame....")) << console.out();
    // The first signal is only noted; the ones after it end the process.
    for (int i = 0; i < 100 && console.running(); ++i) {
        console.signal(SIGINT);
        WaitUntil([&console] { return !console.running(); }, std::chrono::milliseconds(200));
    }
    ASSERT_NE(console.wait(), -1);
    EXPECT_EQ(console.endedBySignal(), SIGINT);
    EXPECT_EQ(console.out().find("camconsole: "), std::string::npos) << "ended at once, in the driver call";
}

TEST(HeadlessRunTest, UsageErrorsExitWithStatus2)
{
    const std::vector<std::string> cases[] = {
        { "--bogus" },
        { "--run" },
        { "--run", "normal,color" },
        { "--run", "normal,dll", "--save-frame", "frame.png" },
        { "--run", "normal", "--repeat", "0" },
        { "--run", "normal", "--save-frame", "/nonexistent/frame.png" },
        { "--run", "normal", "--report", "/nonexistent/report.json" },
        { "--run", "normal", "--expect-frame", "/etc/hostname" },
        { "--run", "normal,binary", "--expect-frame", "frame.png" },
    };
    for (const auto &args : cases) {
        SCOPED_TRACE(args.back());
        ConsoleProcess console(args);
        EXPECT_EQ(console.wait(), 2);
        EXPECT_EQ(console.out(), "");
        EXPECT_EQ(console.err().rfind("camconsole: ", 0), 0u) << console.err();
    }
    // A PNG cut short after its header, and a folder: the reason in the
    // console's own message, libpng's words inside it and no stray line.
    const std::string cut = std::filesystem::temp_directory_path() / ("camconsole-cut-" + std::to_string(::getpid()));
    std::ofstream(cut, std::ios::binary) << std::string(
        "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\xa2\0\0\0\x8f\x08\x06\0\0\0"
        "\x79\xc0\x00\xf3",
        33);
    for (const auto &[file, reason] :
         { std::pair<std::string, std::string> { cut, "Unable to read image data (libpng: Read Error)" },
           { "/", "Is a directory" } }) {
        ConsoleProcess console({ "--run", "normal", "--expect-frame", file });
        EXPECT_EQ(console.wait(), 2);
        EXPECT_EQ(console.err(), UsageErrorText("--expect-frame " + file + ": " + reason + "."));
    }
    std::filesystem::remove(cut);

    ConsoleProcess help({ "--help" });
    EXPECT_EQ(help.wait(), 0);
    EXPECT_EQ(help.out().rfind("Usage: ", 0), 0u) << help.out();
}

// A run that fails among others leaves its reply, whole frame and log in
// the --keep-failed folder, the reports list them, the CSV has a row per
// run, and with --timestamps every log line starts with the time of day.
TEST(HeadlessRunTest, AFailedRunIsKeptAndEveryRunIsARow)
{
    CamsimProcess camera({ "--fast", "--fault", "DF=short", "--fault-times", "1" });
    const std::string dir = camera.directory();
    const std::string kept = dir + "/kept";
    ASSERT_EQ(::mkdir(kept.c_str(), 0700), 0);
    ConsoleProcess console(RunArgs(camera,
                                   { "--run", "normal", "--repeat", "3", "--unit", "U1234", "--tag", "station=A",
                                     "--keep-failed", kept, "--csv", dir + "/runs.csv", "--report",
                                     dir + "/report.json", "--junit", dir + "/junit.xml", "--timestamps" }));
    EXPECT_EQ(console.wait(), 1) << console.err();
    EXPECT_EQ(console.err(), "");
    const std::string out = console.out();
    const std::regex stamped(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}:\d{2} \S.*)");
    for (const std::string &line : OutputLines(out.substr(0, out.find("\n\n"))))
        EXPECT_TRUE(line.starts_with("camconsole: normal, run ") || std::regex_match(line, stamped)) << line;

    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(kept))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 4U);
    const std::string base = files[0].substr(0, files[0].size() - 4);
    EXPECT_TRUE(std::regex_match(base, std::regex(kept + R"(/U1234-normal-run1-\d{8}T\d{6})"))) << base;
    EXPECT_EQ(files, (std::vector<std::string> { base + ".bin", base + ".camrun", base + ".log", base + ".png" }));
    const std::string reply = ReadFile(base + ".bin");
    EXPECT_TRUE(reply.size() > 4 && reply.size() < camsim::kDumpReplySize && reply.starts_with("ACK\r"));
    const std::optional<Capture> capture = LoadCapture(base + ".camrun");
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->record.reply, reply) << "the capture holds the run whole";
    const std::string log = ReadFile(base + ".log");
    EXPECT_TRUE(log.starts_with("Starting DF Test using direct connection (RGB)\n")) << log;
    EXPECT_NE(log.find("\ncamconsole: normal, run 1 of 3: failed: frame incomplete: "), std::string::npos) << log;
    EXPECT_FALSE(QImage(QString::fromStdString(base + ".png")).isNull()) << "the frame as far as it was drawn";

    const QJsonObject report
        = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(dir + "/report.json"))).object();
    const QJsonObject schema = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(REPORT_SCHEMA))).object();
    EXPECT_EQ(SchemaProblems(schema, report, "report"), "");
    const QJsonArray runs = report[QStringLiteral("runs")].toArray();
    ASSERT_EQ(runs.size(), 3);
    EXPECT_EQ(runs[0].toObject()[QStringLiteral("keptFiles")].toArray(),
              QJsonArray({ QString::fromStdString(base + ".bin"), QString::fromStdString(base + ".png"),
                           QString::fromStdString(base + ".log"), QString::fromStdString(base + ".camrun") }));
    EXPECT_TRUE(runs[1].toObject()[QStringLiteral("keptFiles")].toArray().isEmpty()) << "nothing kept of a pass";
    EXPECT_EQ(runs[2].toObject()[QStringLiteral("unit")].toString(), QStringLiteral("U1234"));
    EXPECT_EQ(report[QStringLiteral("tags")].toObject()[QStringLiteral("station")].toString(), QStringLiteral("A"));
    const std::string junit = ReadFile(dir + "/junit.xml");
    EXPECT_EQ(Count(junit, "[[ATTACHMENT|" + base), 4) << junit;
    EXPECT_NE(junit.find("<property name=\"station\" value=\"A\"/>"), std::string::npos) << junit;

    const std::vector<Lines> rows = CsvRows(ReadFile(dir + "/runs.csv"));
    ASSERT_EQ(rows.size(), 4U);
    EXPECT_EQ(Lines(rows[0].begin(), rows[0].begin() + 7),
              Lines({ "unit", "station", "test", "run", "start", "outcome", "reason" }));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), rows[0].size());
        EXPECT_EQ(Lines(rows[i].begin(), rows[i].begin() + 4), Lines({ "U1234", "A", "normal", std::to_string(i) }));
        EXPECT_EQ(rows[i][5], i == 1 ? "failed" : "passed");
    }
    EXPECT_EQ(rows[1][rows[0].size() - 2], std::to_string(reply.size())) << "bytes received";
}

// --wait-for-port --units: three cameras plugged in and out one after
// another are three units in the summary, the JUnit file and the CSV;
// Ctrl+C while waiting for the fourth ends the loop with what was done.
TEST(HeadlessRunTest, UnitsComeOneAfterAnotherUntilCtrlC)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string port = folder + "/port";
    const std::string waiting = "camconsole: waiting for a camera at " + port + "\n";
    ConsoleProcess console({ "--port", port, "--driver", TARQIS_LIBRARY, "--run", "normal", "--wait-for-port",
                             "--units", "4", "--csv", folder + "/runs.csv", "--junit", folder + "/junit.xml" });
    for (int unit = 1; unit <= 3; ++unit) {
        SCOPED_TRACE(unit);
        ASSERT_TRUE(WaitUntil([&] { return Count(console.out(), waiting) == unit; })) << console.out();
        CamsimProcess camera({ "--fast" });
        // Plugged in: the link appears at once, pointing at the camera.
        std::filesystem::create_symlink(camera.devicePath(), port + ".new");
        std::filesystem::rename(port + ".new", port);
        ASSERT_TRUE(console.waitForOutput("camconsole: unit " + std::to_string(unit)
                                          + " done, waiting until it is "
                                            "unplugged\n"))
            << console.out();
        std::filesystem::remove(port); // unplugged
    }
    ASSERT_TRUE(WaitUntil([&] { return Count(console.out(), waiting) == 4; })) << console.out();
    console.signal(SIGINT);
    EXPECT_EQ(console.wait(), 130);
    const std::string out = console.out();
    const std::string summary = out.substr(out.find("\n\n") + 2);
    EXPECT_TRUE(summary.starts_with("Unit 1 (1 of 4):\n  normal: 1 run, 1 success, 0 failures\n")) << summary;
    EXPECT_NE(summary.find("\nUnit 3 (3 of 4):\n"), std::string::npos) << summary;
    EXPECT_TRUE(summary.ends_with("\ncamconsole: stopped by SIGINT after 3 of 4 runs\n")) << summary;
    EXPECT_EQ(console.err(), "");

    const std::vector<Lines> rows = CsvRows(ReadFile(folder + "/runs.csv"));
    ASSERT_EQ(rows.size(), 4U);
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(Lines(rows[i].begin(), rows[i].begin() + 3), Lines({ std::to_string(i), "normal", "1" }));
    const std::string junit = ReadFile(folder + "/junit.xml");
    EXPECT_EQ(Count(junit, "<testsuite name=\"camconsole unit "), 3) << junit;
    EXPECT_EQ(Count(junit, "<testcase "), 3) << junit;
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
        EXPECT_EQ(console.endedBySignal(), signal) << "dies by the signal, as a shell loop must see it";
        EXPECT_EQ(
            OutputLines(console.out()),
            Lines({ "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....OK",
                    "Sending Command & Starting Frame Dump Timer...", "",
                    "normal: 1 run, 0 successes, 0 failures, 1 stopped", "binary: 0 runs, 0 successes, 0 failures",
                    "camconsole: stopped by " + std::string(signal == SIGINT ? "SIGINT" : "SIGTERM")
                        + " after 0 of 2 runs" }));
    }
    EXPECT_EQ(camera.receivedCommands(), Lines({ "", "DF", "", "DF" })) << "binary never started";
}

} // namespace
