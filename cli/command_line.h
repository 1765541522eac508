#pragma once

#include "frames/frame_record.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The console's command line. Parsed before any window object exists, so
// that help, version, the port listing, usage errors and headless runs need
// no display.

struct CommandLine {
    // OpenCaptures: the inspector on captures (--open); JudgeCaptures: the
    // captures judged without a window (--open with --expect-frame).
    enum class Action { Window, Help, Version, ListPorts, CheckPort, Run, OpenCaptures, JudgeCaptures };

    Action action = Action::Window;
    std::optional<std::string> port; // --port DEVICE
    std::optional<std::string> checkPort; // --check-port DEVICE (nullopt: port 1)
    std::optional<std::string> driver; // --driver LIBRARY
    std::vector<TestKind> tests; // --run, in the order given
    int repeat = 1; // --repeat N
    std::string savePicture; // --save-picture FILE (empty: not asked for)
    std::string saveFrame; // --save-frame FILE
    std::string saveReply; // --save-reply FILE
    std::string expectFrame; // --expect-frame FILE
    int tolerance = 0; // --tolerance N
    std::int64_t maxDiffering = 0; // --max-differing N
    std::string report; // --report FILE
    std::string junit; // --junit FILE

    // The production line: cameras one after another, each named, its
    // failed runs kept, every run a row of a table.
    bool timestamps = false; // --timestamps
    std::string keepFailed; // --keep-failed DIR
    std::string csv; // --csv FILE
    bool waitForPort = false; // --wait-for-port[=SECONDS]
    std::optional<int> waitSeconds; // its SECONDS (nullopt: no limit)
    int units = 0; // --units N (0: not given; kUnitsForever)
    std::string unit; // --unit ID
    std::vector<std::pair<std::string, std::string>> tags; // --tag KEY=VALUE, in the order given
    std::string saveRun; // --save-run FILE
    std::vector<std::string> captures; // --open FILE...
};

// --units forever.
inline constexpr int kUnitsForever = -1;

// The outcome of parsing: the command line, or the reason it is unusable.
struct ParsedCommandLine {
    CommandLine commandLine;
    std::string error; // empty when the command line is usable
};

// Parses arguments (arguments[0] is the program). Options may also be given
// as --name=value.
ParsedCommandLine ParseCommandLine(const QStringList &arguments);
// The same over main()'s arguments, in the local 8-bit encoding.
ParsedCommandLine ParseCommandLine(int argc, char *argv[]);

// The text of --help.
std::string HelpText();
// The text of --version: the program's name and version.
std::string VersionText();
// What a usage error prints to standard error.
std::string UsageErrorText(const std::string &error);

// The exit status of a usage error.
inline constexpr int kUsageErrorStatus = 2;
