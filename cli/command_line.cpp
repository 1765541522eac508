#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr int kMaxRepeat = 1'000'000;

struct Options {
    QCommandLineOption help { QStringList { QStringLiteral("h"), QStringLiteral("help") },
                              QStringLiteral("Displays help on commandline options.") };
    QCommandLineOption version { QStringList { QStringLiteral("v"), QStringLiteral("version") },
                                 QStringLiteral("Displays version information.") };
    QCommandLineOption port { QStringLiteral("port"),
                              QStringLiteral("The device of serial port 1, the camera's port (default: "
                                             "$CAMCONSOLE_PORT1, else /dev/ttyS0)."),
                              QStringLiteral("DEVICE") };
    QCommandLineOption driver { QStringLiteral("driver"),
                                QStringLiteral("The camera driver library (default: $CAMCONSOLE_DRIVER, else "
                                               "../lib/camconsole/libtarqis.so beside the program)."),
                                QStringLiteral("LIBRARY") };
    QCommandLineOption listPorts { QStringLiteral("list-ports"),
                                   QStringLiteral("Lists the serial ports the system reports and says which "
                                                  "device port 1 is.") };
    QCommandLineOption checkPort { QStringLiteral("check-port"),
                                   QStringLiteral("Checks that this user can use the serial device DEVICE (given "
                                                  "after the option; default: port 1) and says what is wrong and "
                                                  "what to do; exits 0 when usable, 3 when not.") };
    QCommandLineOption run { QStringLiteral("run"),
                             QStringLiteral("Runs the tests without a window, in the order given, and exits. "
                                            "TEST is normal, dll or binary."),
                             QStringLiteral("TEST[,TEST...]") };
    QCommandLineOption repeat { QStringLiteral("repeat"),
                                QStringLiteral("With --run: runs the list N times, then prints a summary."),
                                QStringLiteral("N") };
    QCommandLineOption savePicture { QStringLiteral("save-picture"),
                                     QStringLiteral("With --run of one test: writes the 133 x 117 picture as "
                                                    "the window shows it (PNG)."),
                                     QStringLiteral("FILE") };
    QCommandLineOption saveFrame { QStringLiteral("save-frame"),
                                   QStringLiteral("With --run of one test: writes the whole drawn frame, "
                                                  "unclipped (PNG, undrawn pixels transparent)."),
                                   QStringLiteral("FILE") };
    QCommandLineOption saveReply { QStringLiteral("save-reply"),
                                   QStringLiteral("With --run of one test: writes the raw reply bytes (for "
                                                  "dll, the driver's 40,001-byte buffer)."),
                                   QStringLiteral("FILE") };

    QCommandLineOption expectFrame { QStringLiteral("expect-frame"),
                                     QStringLiteral(
                                         "With --run or --open: judges every run's whole frame against this PNG, "
                                         "written by Save Frame As... or --save-frame; a run whose "
                                         "frame differs fails."),
                                     QStringLiteral("FILE") };
    QCommandLineOption tolerance { QStringLiteral("tolerance"),
                                   QStringLiteral("With --expect-frame: the largest difference allowed in one "
                                                  "color component, 0 to 255 (default 0)."),
                                   QStringLiteral("N") };
    QCommandLineOption maxDiffering { QStringLiteral("max-differing"),
                                      QStringLiteral("With --expect-frame: how many camera pixels may differ "
                                                     "(default 0)."),
                                      QStringLiteral("N") };
    QCommandLineOption report { QStringLiteral("report"),
                                QStringLiteral("With --run: writes a JSON report of the runs (its schema: "
                                               "camconsole-report.schema.json)."),
                                QStringLiteral("FILE") };
    QCommandLineOption junit { QStringLiteral("junit"),
                               QStringLiteral("With --run: writes the runs as JUnit XML, one testcase per run."),
                               QStringLiteral("FILE") };

    // The production line.
    QCommandLineOption timestamps { QStringLiteral("timestamps"),
                                    QStringLiteral("With --run: starts each log line with the time of day to the "
                                                   "millisecond (ISO 8601, local time with its offset).") };
    QCommandLineOption keepFailed {
        QStringLiteral("keep-failed"),
        QStringLiteral("With --run: writes each failed run's reply (.bin), frame as far "
                       "as drawn (.png), log (.log) and capture (.camrun) into DIR as soon as it fails, named "
                       "UNIT-TEST-runR-YYYYMMDDTHHMMSS, and lists them in the reports."),
        QStringLiteral("DIR")
    };
    QCommandLineOption csv { QStringLiteral("csv"),
                             QStringLiteral("With --run: writes one row per run (unit, tags, test, run, start, "
                                            "outcome, reason, timings in ms, bytes received, pixels differing) "
                                            "as CSV, rewritten after every run."),
                             QStringLiteral("FILE") };
    QCommandLineOption waitForPort { QStringLiteral("wait-for-port"),
                                     QStringLiteral("With --run: waits until port 1 exists and may be opened, then "
                                                    "runs; --wait-for-port=SECONDS waits that long at most.") };
    QCommandLineOption units { QStringLiteral("units"),
                               QStringLiteral("With --run: tests N cameras one after another (or forever): waits "
                                              "for each at port 1, runs the tests, waits until it is unplugged. "
                                              "Ctrl+C ends the loop with the summary and the reports so far."),
                               QStringLiteral("N|forever") };
    QCommandLineOption unit { QStringLiteral("unit"),
                              QStringLiteral("With --run: names the camera tested, for the reports and kept files "
                                             "(default: the USB serial number of port 1's adapter, else the "
                                             "unit's number in the --units loop)."),
                              QStringLiteral("ID") };
    QCommandLineOption tag { QStringLiteral("tag"),
                             QStringLiteral("With --run: adds KEY=VALUE (station, operator, batch...) to the reports "
                                            "and the CSV; may be given again."),
                             QStringLiteral("KEY=VALUE") };
    // Captures: a run kept whole in a file, opened without a camera.
    QCommandLineOption saveRun { QStringLiteral("save-run"),
                                 QStringLiteral("With --run of one test: writes the run whole as a capture "
                                                "file (its account, reply, reads and log), which --open and "
                                                "camsim --replay read."),
                                 QStringLiteral("FILE") };
    QCommandLineOption open { QStringLiteral("open"),
                              QStringLiteral("Opens the frame inspector on the capture files given (FILE and the "
                                             "files after it), without a camera; with --expect-frame judges them "
                                             "without a window instead, each with its log and verdict line."),
                              QStringLiteral("FILE") };

    void addTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(
            QStringLiteral("Test console for a serial color camera. With no options it opens the window."));
        for (const QCommandLineOption *option :
             { &help, &version, &port, &driver, &listPorts, &checkPort, &run, &repeat, &savePicture, &saveFrame,
               &saveReply, &expectFrame, &tolerance, &maxDiffering, &report, &junit, &saveRun, &open })
            parser.addOption(*option);
        for (const QCommandLineOption *option : { &timestamps, &keepFailed, &csv, &waitForPort, &units, &unit, &tag })
            parser.addOption(*option);
        parser.addPositionalArgument(QStringLiteral("DEVICE"),
                                     QStringLiteral("With --check-port: the device to check."),
                                     QStringLiteral("[DEVICE]"));
    }
};

std::optional<TestKind> ParseTestName(const QString &name)
{
    for (TestKind test : kAllTests) {
        if (name.toStdString() == TestName(test))
            return test;
    }
    return std::nullopt;
}

std::string Quoted(const QString &text)
{
    // Built by appending: GCC 12 warns (-Wrestrict, wrongly) about "'" + std::string in optimised builds.
    const std::string inner = text.toStdString();
    std::string quoted;
    quoted.reserve(inner.size() + 2);
    quoted += '\'';
    quoted += inner;
    quoted += '\'';
    return quoted;
}

// The value of a single-valued option; the last one wins when it is given
// several times, as with most programs.
QString LastValue(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    const QStringList values = parser.values(option);
    return values.isEmpty() ? QString() : values.constLast();
}

// The value of --wait-for-port=SECONDS, which QCommandLineParser can not
// take (its options have a value always or never): taken out of the
// arguments before they are parsed.
struct OptionalValue {
    bool given = false;
    QString value;
};

OptionalValue TakeWaitSeconds(QStringList &arguments)
{
    const QString prefix = QStringLiteral("--wait-for-port=");
    OptionalValue taken;
    for (QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        if (argument.startsWith(prefix)) {
            taken = { true, argument.mid(prefix.size()) };
            argument = QStringLiteral("--wait-for-port");
        }
    }
    return taken;
}

// A whole number from least to largest written as digits, or nullopt.
std::optional<int> WholeNumber(const QString &value, int least, int largest)
{
    bool number = false;
    const int n = value.toInt(&number);
    if (!number || n < least || n > largest || value.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return n;
}

// The production line's options: each needs --run.
std::string InterpretProductionLine(const QCommandLineParser &parser, const Options &options,
                                    const OptionalValue &waitSeconds, CommandLine &line, bool run)
{
    for (const QCommandLineOption *option : { &options.timestamps, &options.keepFailed, &options.csv,
                                              &options.waitForPort, &options.units, &options.unit, &options.tag }) {
        if (parser.isSet(*option) && !run)
            return "--" + option->names().constFirst().toStdString() + " needs --run.";
    }
    const std::pair<const QCommandLineOption *, std::string *> values[] = {
        { &options.keepFailed, &line.keepFailed },
        { &options.csv, &line.csv },
        { &options.unit, &line.unit },
    };
    for (const auto &[option, value] : values) {
        if (!parser.isSet(*option))
            continue;
        *value = LastValue(parser, *option).toStdString();
        if (value->empty())
            return "Missing value after '--" + option->names().constFirst().toStdString() + "'.";
    }
    line.timestamps = parser.isSet(options.timestamps);
    line.waitForPort = parser.isSet(options.waitForPort);
    if (line.waitForPort && waitSeconds.given) {
        line.waitSeconds = WholeNumber(waitSeconds.value, 1, kMaxRepeat);
        if (!line.waitSeconds)
            return "--wait-for-port needs a whole number of seconds from 1 to " + std::to_string(kMaxRepeat) + ", not "
                + Quoted(waitSeconds.value) + ".";
    }
    if (parser.isSet(options.units)) {
        const QString value = LastValue(parser, options.units);
        const std::optional<int> units
            = value == QLatin1String("forever") ? kUnitsForever : WholeNumber(value, 1, kMaxRepeat);
        if (!units)
            return "--units needs a whole number from 1 to " + std::to_string(kMaxRepeat) + " or forever, not "
                + Quoted(value) + ".";
        if (!line.unit.empty())
            return "--unit and --units can not be combined.";
        line.units = *units;
    }
    for (const QString &value : parser.values(options.tag)) {
        const qsizetype equals = value.indexOf(QLatin1Char('='));
        if (equals < 1)
            return "--tag needs KEY=VALUE, not " + Quoted(value) + ".";
        const std::string key = value.left(equals).toStdString();
        const std::string text = value.mid(equals + 1).toStdString();
        const auto same
            = std::find_if(line.tags.begin(), line.tags.end(), [&key](const auto &tag) { return tag.first == key; });
        if (same != line.tags.end())
            same->second = text; // the last one wins, as with the other options
        else
            line.tags.emplace_back(key, text);
    }
    return {};
}

// Checks the combinations and values the parser itself does not know about.
std::string Interpret(const QCommandLineParser &parser, const Options &options, const OptionalValue &waitSeconds,
                      CommandLine &line)
{
    // The one argument that is not an option: the device --check-port checks.
    QStringList arguments = parser.positionalArguments();
    if (parser.isSet(options.checkPort) && !arguments.isEmpty())
        line.checkPort = arguments.takeFirst().toStdString();
    // The captures --open opens: its values and the arguments after them.
    const bool open = parser.isSet(options.open);
    if (open) {
        for (const QString &file : parser.values(options.open) + arguments) {
            if (file.isEmpty())
                return "Missing value after '--open'.";
            line.captures.push_back(file.toStdString());
        }
        arguments.clear();
    }
    if (!arguments.isEmpty())
        return "Unexpected argument " + Quoted(arguments.constFirst()) + ".";

    if (parser.isSet(options.port)) {
        line.port = LastValue(parser, options.port).toStdString();
        if (line.port->empty())
            return "Missing value after '--port'.";
    }
    if (parser.isSet(options.driver)) {
        line.driver = LastValue(parser, options.driver).toStdString();
        if (line.driver->empty())
            return "Missing value after '--driver'.";
    }

    const bool run = parser.isSet(options.run);
    if (run) {
        for (const QString &name : LastValue(parser, options.run).split(QLatin1Char(','))) {
            const std::optional<TestKind> test = ParseTestName(name);
            if (!test)
                return "Unknown test " + Quoted(name) + " in --run (use normal, dll or binary).";
            line.tests.push_back(*test);
        }
    }

    if (parser.isSet(options.repeat)) {
        if (!run)
            return "--repeat needs --run.";
        const QString value = LastValue(parser, options.repeat);
        bool number = false;
        const int repeat = value.toInt(&number);
        if (!number || repeat < 1 || repeat > kMaxRepeat || value.startsWith(QLatin1Char('+')))
            return "--repeat needs a whole number from 1 to " + std::to_string(kMaxRepeat) + ", not " + Quoted(value)
                + ".";
        line.repeat = repeat;
    }

    // The files a run reads or writes: each needs --run, the saves a run of
    // one test (they keep that test's picture, frame or reply).
    struct FileOption {
        const QCommandLineOption *option;
        std::string *path;
        bool oneTest;
    };
    const FileOption files[] = {
        { &options.savePicture, &line.savePicture, true }, { &options.saveFrame, &line.saveFrame, true },
        { &options.saveReply, &line.saveReply, true },     { &options.expectFrame, &line.expectFrame, false },
        { &options.report, &line.report, false },          { &options.junit, &line.junit, false },
        { &options.saveRun, &line.saveRun, true },
    };
    for (const FileOption &file : files) {
        if (!parser.isSet(*file.option))
            continue;
        const std::string name = "--" + file.option->names().constFirst().toStdString();
        if (file.oneTest && (!run || line.tests.size() != 1))
            return name + " needs --run with one test.";
        if (!run && !(open && file.option == &options.expectFrame))
            return name + " needs --run.";
        *file.path = LastValue(parser, *file.option).toStdString();
        if (file.path->empty())
            return "Missing value after '" + name + "'.";
    }
    if (!line.expectFrame.empty() && !line.tests.empty()) {
        const bool lineMode = line.tests.front() == TestKind::LineMode;
        for (TestKind test : line.tests) {
            if ((test == TestKind::LineMode) != lineMode)
                return "--expect-frame needs tests that draw the same kind of frame (normal and dll, or binary).";
        }
    }
    const std::pair<const QCommandLineOption *, std::int64_t> limits[] = {
        { &options.tolerance, 255 },
        { &options.maxDiffering, 1'000'000'000 },
    };
    for (const auto &[option, largest] : limits) {
        if (!parser.isSet(*option))
            continue;
        const std::string name = "--" + option->names().constFirst().toStdString();
        if (line.expectFrame.empty())
            return name + " needs --expect-frame.";
        const QString value = LastValue(parser, *option);
        bool number = false;
        const qlonglong n = value.toLongLong(&number);
        if (!number || n < 0 || n > largest || value.startsWith(QLatin1Char('+')))
            return name + " needs a whole number from 0 to " + std::to_string(largest) + ", not " + Quoted(value) + ".";
        if (option == &options.tolerance)
            line.tolerance = static_cast<int>(n);
        else
            line.maxDiffering = n;
    }

    if (std::string problem = InterpretProductionLine(parser, options, waitSeconds, line, run); !problem.empty())
        return problem;

    if (open && (run || parser.isSet(options.listPorts) || parser.isSet(options.checkPort)))
        return std::string("--open and ")
            + (run ? "--run" : (parser.isSet(options.listPorts) ? "--list-ports" : "--check-port"))
            + " can not be combined.";
    if (parser.isSet(options.listPorts) && run)
        return "--list-ports and --run can not be combined.";
    if (parser.isSet(options.checkPort) && (run || parser.isSet(options.listPorts)))
        return std::string("--check-port and ") + (run ? "--run" : "--list-ports") + " can not be combined.";

    if (parser.isSet(options.help))
        line.action = CommandLine::Action::Help;
    else if (parser.isSet(options.version))
        line.action = CommandLine::Action::Version;
    else if (parser.isSet(options.listPorts))
        line.action = CommandLine::Action::ListPorts;
    else if (parser.isSet(options.checkPort))
        line.action = CommandLine::Action::CheckPort;
    else if (run)
        line.action = CommandLine::Action::Run;
    else if (open)
        line.action = line.expectFrame.empty() ? CommandLine::Action::OpenCaptures : CommandLine::Action::JudgeCaptures;
    return {};
}

// Qt names an unknown option without its dashes ("Unknown option 'bogus'.");
// say it as it was typed.
std::string UnknownOptionText(const QStringList &arguments, const QString &name)
{
    const QString longForm = QStringLiteral("--") + name;
    for (const QString &argument : arguments) {
        if (argument == longForm || argument.startsWith(longForm + QLatin1Char('=')))
            return "Unknown option '" + longForm.toStdString() + "'.";
    }
    return "Unknown option '-" + name.toStdString() + "'.";
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList &arguments)
{
    const Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    ParsedCommandLine parsed;
    QStringList parsedArguments = arguments;
    const OptionalValue waitSeconds = TakeWaitSeconds(parsedArguments);
    if (!parser.parse(parsedArguments)) {
        parsed.error = parser.unknownOptionNames().isEmpty()
            ? parser.errorText().toStdString()
            : UnknownOptionText(arguments, parser.unknownOptionNames().constFirst());
        return parsed;
    }
    // Help and version win over everything else on the line, as usual.
    if (parser.isSet(options.help)) {
        parsed.commandLine.action = CommandLine::Action::Help;
        return parsed;
    }
    if (parser.isSet(options.version)) {
        parsed.commandLine.action = CommandLine::Action::Version;
        return parsed;
    }
    parsed.error = Interpret(parser, options, waitSeconds, parsed.commandLine);
    return parsed;
}

std::string HelpText()
{
    const Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    return parser.helpText().toStdString()
        + "\n"
          "After each run a line starting \"camconsole: \" gives its verdict: the test,\n"
          "\"run R of N\" with --repeat, and \"passed\" or \"failed: \" and the reason.\n"
          "\n"
          "Exit status:\n"
          "  0  every run succeeded\n"
          "  1  a run failed at the camera: no answer, not acknowledged, link lost\n"
          "     mid-reply, frame or bitmap incomplete, nothing drawn, frame differs\n"
          "     from --expect-frame\n"
          "  2  usage error, including a save or report file whose folder is missing\n"
          "     or not writable and an --expect-frame file that is not a saved frame\n"
          "     or an --open file that is not a capture this camconsole reads\n"
          "  3  the camera could not be reached: port missing, busy or not permitted,\n"
          "     driver library missing or lacking an entry, CAM_Init failed; with\n"
          "     --check-port: the port is not usable (0: it is)\n"
          "  4  an output could not be written: standard output, a saved file, a report\n"
          "When several apply: a signal, then 3, 4, 1. SIGINT or SIGTERM stops the run at\n"
          "its next safe point; the console prints what was done, writes the reports\n"
          "and dies by the same signal (a shell reports 130 or 143); a second one ends\n"
          "it at once. See camconsole(1).\n"
          "\n"
          "A production line: camera after camera at one port, each failed run's reply,\n"
          "frame and log kept, a CSV row per run; Ctrl+C ends it with the summary:\n"
          "  mkdir -p failed\n"
          "  camconsole --port /dev/ttyUSB0 --run normal,dll --units forever \\\n"
          "      --tag station=bench2 --tag operator=\"$USER\" --timestamps \\\n"
          "      --keep-failed failed --csv line.csv --junit line.xml --report line.json\n";
}

std::string VersionText()
{
    return QCoreApplication::applicationName().toStdString() + " "
        + QCoreApplication::applicationVersion().toStdString() + "\n";
}

std::string UsageErrorText(const std::string &error)
{
    return "camconsole: " + error + "\nTry 'camconsole --help' for more information.\n";
}

ParsedCommandLine ParseCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return ParseCommandLine(arguments);
}
