#include "run_report.h"

#include "json_writer.h"

#include <cstdio>
#include <ctime>
#include <map>

namespace {

std::string ColorText(ColorValue color)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", RedOf(color), GreenOf(color), BlueOf(color));
    return text;
}

std::string Outcome(const ReportedRun &run)
{
    if (run.stopped)
        return "stopped";
    switch (run.verdict.result) {
    case RunVerdict::Result::Passed:
        return "passed";
    case RunVerdict::Result::Unreachable:
        return "unreachable";
    case RunVerdict::Result::Failed:
        break;
    }
    return "failed";
}

std::int64_t Int(std::size_t n)
{
    return static_cast<std::int64_t>(n);
}

void WriteMismatch(JsonWriter &json, const std::optional<FrameComparison> &mismatch)
{
    if (!mismatch) {
        json.null();
        return;
    }
    json.beginObject();
    json.key("cameraPixels").value(Int(mismatch->camera.differing));
    json.key("surfacePixels").value(Int(mismatch->surface.differing));
    json.key("listed").beginArray();
    for (const CameraPixelDifference &pixel : mismatch->listed) {
        json.beginObject();
        json.key("column").value(pixel.column).key("row").value(pixel.row);
        json.key("x").value(std::int64_t { pixel.x }).key("y").value(std::int64_t { pixel.y });
        json.key("expected");
        pixel.inSecond ? json.value(ColorText(*pixel.inSecond)) : json.null();
        json.key("drawn");
        pixel.inFirst ? json.value(ColorText(*pixel.inFirst)) : json.null();
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void WriteRun(JsonWriter &json, const ReportedRun &run)
{
    json.beginObject();
    json.key("test").value(run.test);
    json.key("round").value(std::int64_t { run.round });
    json.key("start").value(IsoTime(run.start));
    json.key("durationMs").value(run.durationMs);
    json.key("outcome").value(Outcome(run));
    json.key("reason").value(run.stopped ? std::string("stopped by a signal") : run.verdict.reason);
    json.key("timings").beginArray();
    for (const RunTiming &timing : run.timings) {
        json.beginObject();
        json.key("label").value(timing.name);
        json.key("logged").value(timing.logged);
        json.key("unit").value(std::string(timing.unit));
        json.key("ms").value(timing.ms);
        json.endObject();
    }
    json.endArray();
    json.key("bytesReceived").value(Int(run.bytesReceived));
    json.key("pixelsDrawn").value(Int(run.pixelsDrawn));
    json.key("frameComplete").value(run.verdict.frameComplete);
    json.key("differingPixels");
    WriteMismatch(json, run.mismatch);
    json.key("savedFiles").beginArray();
    for (const std::string &file : run.savedFiles)
        json.value(file);
    json.endArray();
    json.endObject();
}

struct Counts {
    std::int64_t runs = 0;
    std::int64_t passed = 0;
};

std::string XmlEscaped(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // XML 1.0 allows no control characters but tab and line ends.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += '?';
            else
                out += c;
        }
    }
    return out;
}

std::string Seconds(std::int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(ms) / 1000);
    return text;
}

} // namespace

std::string IsoTime(std::chrono::system_clock::time_point time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

std::string ReportJson(const RunReport &report)
{
    JsonWriter json;
    json.beginObject();
    json.key("tool").beginObject();
    json.key("name").value("camconsole").key("version").value(report.version);
    json.endObject();
    json.key("port").beginObject();
    json.key("device").value(report.port).key("source").value(report.portSource);
    json.endObject();
    json.key("driver").beginObject();
    json.key("path").value(report.driver).key("source").value(report.driverSource);
    json.endObject();
    json.key("start").value(IsoTime(report.start));
    json.key("tests").beginArray();
    for (const std::string &test : report.tests)
        json.value(test);
    json.endArray();
    json.key("rounds").value(std::int64_t { report.rounds });
    json.key("expectedFrame");
    if (report.expectedFrame) {
        json.beginObject();
        json.key("file").value(*report.expectedFrame);
        json.key("tolerance").value(std::int64_t { report.tolerance });
        json.key("maxDiffering").value(report.maxDiffering);
        json.endObject();
    } else {
        json.null();
    }
    json.key("runs").beginArray();
    for (const ReportedRun &run : report.runs)
        WriteRun(json, run);
    json.endArray();

    std::map<std::string, Counts> counts;
    for (const ReportedRun &run : report.runs) {
        if (run.stopped)
            continue;
        Counts &c = counts[run.test];
        ++c.runs;
        if (run.verdict.passed())
            ++c.passed;
    }
    json.key("summary").beginObject();
    json.key("tests").beginArray();
    for (const std::string &test : report.tests) {
        const Counts c = counts[test];
        json.beginObject();
        json.key("test").value(test).key("runs").value(c.runs).key("passed").value(c.passed);
        json.key("failed").value(c.runs - c.passed);
        json.endObject();
    }
    json.endArray();
    json.key("stoppedBy");
    report.stoppedBy.empty() ? json.null() : json.value(report.stoppedBy);
    json.key("exitStatus").value(std::int64_t { report.exitStatus });
    json.endObject();
    json.endObject();
    return json.text();
}

std::string ReportJunit(const RunReport &report)
{
    std::int64_t failures = 0;
    std::int64_t skipped = 0;
    std::int64_t totalMs = 0;
    for (const ReportedRun &run : report.runs) {
        totalMs += run.durationMs;
        if (run.stopped)
            ++skipped;
        else if (!run.verdict.passed())
            ++failures;
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuite name=\"camconsole\" tests=\"" + std::to_string(report.runs.size()) + "\" failures=\""
        + std::to_string(failures) + "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\" time=\""
        + Seconds(totalMs) + "\" timestamp=\"" + IsoTime(report.start) + "\">\n";
    for (const ReportedRun &run : report.runs) {
        const std::string name = run.test + " run " + std::to_string(run.round);
        xml += "  <testcase classname=\"camconsole." + XmlEscaped(run.test) + "\" name=\"" + XmlEscaped(name)
            + "\" time=\"" + Seconds(run.durationMs) + "\">\n";
        if (run.stopped)
            xml += "    <skipped message=\"stopped by a signal\"/>\n";
        else if (!run.verdict.passed())
            xml += "    <failure message=\"" + XmlEscaped(run.verdict.reason) + "\" type=\""
                + (run.verdict.result == RunVerdict::Result::Unreachable ? "unreachable" : "failed") + "\"/>\n";
        xml += "    <system-out>" + XmlEscaped(run.log) + "</system-out>\n";
        xml += "  </testcase>\n";
    }
    xml += "</testsuite>\n";
    return xml;
}
