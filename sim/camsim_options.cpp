#include "sim/camsim_options.h"

#include "frames/capture_format.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace camsim {

namespace {

FaultRule ParseFaultRule(const std::string &value)
{
    FaultRule rule;
    std::string modeName = value;
    if (const auto eq = value.find('='); eq != std::string::npos) {
        const std::string cmd = value.substr(0, eq);
        rule.kind = ParseCommandKind(cmd);
        if (!rule.kind)
            throw UsageError("unknown command '" + cmd + "' in --fault (use PING, PM, LM, DF or TW)");
        modeName = value.substr(eq + 1);
    }
    const auto mode = ParseName<FaultMode>(modeName);
    if (!mode)
        throw UsageError("unknown fault mode '" + modeName + "' (see --list)");
    rule.mode = *mode;
    return rule;
}

int ParseCount(const std::string &value)
{
    if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("--fault-times needs a whole number, not '" + value + "'");
    return std::atoi(value.c_str());
}

std::chrono::milliseconds ParseLead(const std::string &value)
{
    const bool digits
        = !value.empty() && value.size() <= 5 && value.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::atoi(value.c_str()) > kMaxLead.count())
        throw UsageError("--lead needs milliseconds from 0 to " + std::to_string(kMaxLead.count()) + ", not '" + value
                         + "'");
    return std::chrono::milliseconds(std::atoi(value.c_str()));
}

} // namespace

Options ParseOptions(const std::vector<std::string> &args)
{
    Options options;
    bool paceGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (name.rfind("--", 0) == 0) {
            if (const auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
        }
        auto takeValue = [&]() -> std::string {
            if (value)
                return *value;
            if (i + 1 >= args.size())
                throw UsageError("option " + name + " needs a value");
            return args[++i];
        };
        auto noValue = [&] {
            if (value)
                throw UsageError("option " + name + " takes no value");
        };

        if (name == "--help" || name == "-h") {
            noValue();
            options.help = true;
        } else if (name == "--list") {
            noValue();
            options.list = true;
        } else if (name == "--version") {
            noValue();
            options.version = true;
        } else if (name == "--fast") {
            noValue();
            options.fast = true;
        } else if (name == "--lead") {
            options.lead = ParseLead(takeValue());
        } else if (name == "--realtime") {
            noValue();
            options.realtime = true;
        } else if (name == "--link") {
            options.linkPath = takeValue();
            if (options.linkPath.empty())
                throw UsageError("--link needs a path");
        } else if (name == "--log") {
            options.logPath = takeValue();
            if (options.logPath.empty())
                throw UsageError("--log needs a path");
        } else if (name == "--pattern") {
            const std::string p = takeValue();
            const auto pattern = ParseName<Pattern>(p);
            if (!pattern)
                throw UsageError("unknown pattern '" + p + "' (see --list)");
            options.pattern = *pattern;
        } else if (name == "--fault") {
            options.faults.push_back(ParseFaultRule(takeValue()));
        } else if (name == "--fault-times") {
            options.faultTimes = ParseCount(takeValue());
        } else if (name == "--replay") {
            options.replayPath = takeValue();
            if (options.replayPath.empty())
                throw UsageError("--replay needs a path");
        } else if (name == "--replay-pace") {
            const std::string pace = takeValue();
            if (pace == "captured")
                options.replayPace = ReplayPace::Captured;
            else if (pace == "wire")
                options.replayPace = ReplayPace::Wire;
            else
                throw UsageError("--replay-pace needs captured or wire, not '" + pace + "'");
            paceGiven = true;
        } else {
            throw UsageError("unknown argument '" + args[i] + "' (see --help)");
        }
    }
    if (paceGiven && options.replayPath.empty())
        throw UsageError("--replay-pace needs --replay");
    if (!options.replayPath.empty() && !options.faults.empty())
        throw UsageError("--replay and --fault can not be combined");
    return options;
}

void LoadReplay(Options &options)
{
    if (options.replayPath.empty())
        return;
    const auto refuse
        = [&options](const std::string &why) { throw UsageError("cannot replay " + options.replayPath + ": " + why); };
    std::ifstream in(options.replayPath, std::ios::binary);
    if (!in)
        refuse(std::strerror(errno != 0 ? errno : ENOENT));
    std::string bytes;
    char piece[65536];
    while (in.read(piece, sizeof piece) || in.gcount() > 0) {
        bytes.append(piece, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxCaptureBytes)
            refuse("it is larger than any capture");
    }
    std::string error;
    options.replay = ReplayScriptOf(bytes, options.replayPace, &error);
    if (!options.replay)
        refuse(error);
    if (options.replayPace == ReplayPace::Captured)
        options.fast = true;
}

std::string ListText()
{
    std::ostringstream out;
    out << "Patterns (--pattern NAME):\n";
    for (const auto &pattern : kPatternTable)
        out << "  " << pattern.name << (pattern.value == Pattern::Bars ? " (default)" : "") << ": "
            << pattern.description << "\n";
    out << "Fault modes (--fault MODE or --fault CMD=MODE, CMD one of PING PM LM DF TW):\n";
    for (const auto &mode : kFaultModeTable)
        out << "  " << mode.name << ": " << mode.description << "\n";
    return out.str();
}

std::string VersionText()
{
    return std::string("camsim ") + CAMSIM_VERSION + "\n";
}

std::string HelpText()
{
    std::ostringstream out;
    out << "Usage: camsim [options]\n"
           "\n"
           "A simulated serial color camera on a pseudo-terminal. camsim prints the pty's\n"
           "slave device path as the first line on stdout (another line each time a\n"
           "'hangup' fault makes it open a fresh pty) and answers camera commands on it\n"
           "at 115200 baud pace until SIGTERM or SIGINT (exit status 0).\n"
           "\n"
           "Commands (bytes up to CR; LF ignored; exact and case-sensitive):\n"
           "  (empty)      ping                    -> \"ACK\\r:\"\n"
           "  PM 0, PM 1   mode command            -> \"ACK\\r:\"\n"
           "  LM 0, LM 1   leave / enter line mode -> \"ACK\\r:\"\n"
           "  DF           frame dump              -> \"ACK\\r\" + frame + \"\\r:\" (34,408 bytes)\n"
           "  TW           line-mode bitmap        -> \"ACK\\r\" + 170 + 143x10 bytes + 170 170 + \"\\r:\"\n"
           "               (outside line mode      -> \"NCK\\r:\")\n"
           "  anything else                        -> \"NCK\\r:\"\n"
           "A new command abandons the rest of a reply still being sent. Consoles may\n"
           "open and close the device any number of times; when the last one closes\n"
           "it, the reply in progress and any bytes left unread are dropped, so each\n"
           "connection starts clean. At most 3 KiB of a reply wait unread in the pty:\n"
           "while a console does not read, the reply waits (commands are still read).\n"
           "\n"
           "Options:\n"
           "  --link PATH       place a symlink at PATH to the slave device (replaces an\n"
           "                    existing symlink; re-pointed after a hangup; removed at exit)\n"
           "  --log FILE        append every received command to FILE, one a line\n"
           "                    (a ping is an empty line)\n"
           "  --pattern NAME    frame dump picture: bars (default), gradient, checker, markers\n"
           "  --fault MODE      apply fault MODE to every accepted command\n"
           "  --fault CMD=MODE  apply fault MODE to command CMD: PING, PM, LM, DF or TW\n"
           "                    (repeatable; the first matching rule applies; faults never\n"
           "                    apply to commands answered with NCK)\n"
           "  --fault-times N   each fault rule applies to its first N matching commands only\n"
           "                    (default: always)\n"
           "  --lead MS         keep MS milliseconds of a paced reply (default 200, at most\n"
           "                    2000) queued with camsim's relays, helper processes on each\n"
           "                    CPU that go on sending it at the wire's pace while camsim\n"
           "                    itself is stopped (a busy virtual machine stops a CPU for\n"
           "                    about 100 ms at times). The lead does not change the\n"
           "                    console's timings: every byte still reaches the pty when\n"
           "                    the wire would carry it; a stop of camsim up to MS ms just\n"
           "                    leaves no gap. With --lead 0 a stop of camsim reaches the\n"
           "                    console as a pause, as with a camera that paused\n"
           "  --fast            no wire pacing: send replies as fast as the console reads\n"
           "  --replay FILE     answer as the run captured in FILE (camconsole --save-run,\n"
           "                    or Save Run As... in its inspector) was answered: its\n"
           "                    request (DF or TW) gets the captured reply, each read's\n"
           "                    bytes sent half way between the console's read before it\n"
           "                    and that read (timed from the command), so the console\n"
           "                    logs, draws and judges the run as it did then; a command\n"
           "                    the run saw go unanswered or refused is so again, others\n"
           "                    are answered as by a healthy camera; a reply the link's\n"
           "                    failure cut ends with the pty closed. Of a capture of the\n"
           "                    driver test, DF gets the bytes the driver filled, at the\n"
           "                    wire's pace\n"
           "  --replay-pace P   with --replay: captured (default), or wire: the whole reply\n"
           "                    at the wire's pace (a pause within it is not replayed)\n"
           "  --realtime        run at a real-time scheduling priority (SCHED_FIFO) where\n"
           "                    the system allows it, else at nice -10 where allowed, so a\n"
           "                    busy machine leaves no gap in a reply (the console takes a\n"
           "                    50 ms pause for a reply's end); the policy obtained is\n"
           "                    printed on stderr\n"
           "  --list            list the patterns and fault modes\n"
           "  --help            show this help\n"
           "  --version         print \"camsim\" and the version\n"
           "\n";
    out << ListText();
    out << "\n"
           "Example:\n"
           "  camsim --link /tmp/camport --pattern checker --fault DF=pause &\n"
           "  CAMCONSOLE_PORT1=/tmp/camport camconsole\n"
           "\n"
           "When a reply had a gap of 40 ms or more that camsim did not mean (camsim or\n"
           "its relays were not run for longer than the lead covers, or a command's\n"
           "answer came that late, or camsim was not run that long just before it\n"
           "answered one), camsim says so on stderr, one line per gap:\n"
           "  camsim: stalled for 312 ms at byte 10,745 of the DF reply: the machine did\n"
           "  not run camsim; a console may have taken it for a pause\n"
           "and appends the same line to the file named by CAMSIM_STALL_LOG, if set.\n"
           "A console's failure in such a run says nothing about the console.\n"
           "\n"
           "Bad arguments print a one-line error and exit with status 2.\n";
    return out.str();
}

} // namespace camsim
