#include "reports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

namespace {

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonValue Number(std::size_t n)
{
    return static_cast<qint64>(n);
}

std::string ColorText(ColorValue color)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", RedOf(color), GreenOf(color), BlueOf(color));
    return text;
}

std::string Outcome(const ReportEntry &run)
{
    if (run.stopped)
        return "stopped";
    switch (run.verdict.result) {
    case Verdict::Result::Passed:
        return "passed";
    case Verdict::Result::Unreachable:
        return "unreachable";
    case Verdict::Result::Failed:
        break;
    }
    return "failed";
}

QJsonValue Mismatch(const std::optional<FrameComparison> &mismatch)
{
    if (!mismatch)
        return QJsonValue::Null;
    QJsonArray listed;
    for (const CameraPixelDifference &pixel : mismatch->listed) {
        listed.append(QJsonObject {
            { "column", static_cast<qint64>(pixel.column) },
            { "row", static_cast<qint64>(pixel.row) },
            { "x", pixel.x },
            { "y", pixel.y },
            { "expected", pixel.inSecond ? QJsonValue(Text(ColorText(*pixel.inSecond))) : QJsonValue::Null },
            { "drawn", pixel.inFirst ? QJsonValue(Text(ColorText(*pixel.inFirst))) : QJsonValue::Null },
        });
    }
    return QJsonObject {
        { "cameraPixels", Number(mismatch->camera.differing) },
        { "surfacePixels", Number(mismatch->surface.differing) },
        { "listed", listed },
    };
}

QJsonObject Run(const ReportEntry &run)
{
    QJsonArray timings;
    for (const RunTiming &timing : run.timings) {
        timings.append(QJsonObject {
            { "label", Text(timing.name) },
            { "logged", static_cast<qint64>(timing.logged) },
            { "unit", Text(timing.unit) },
            { "ms", static_cast<qint64>(timing.ms) },
        });
    }
    QJsonArray saved;
    for (const std::string &file : run.savedFiles)
        saved.append(Text(file));
    QJsonArray kept;
    for (const std::string &file : run.keptFiles)
        kept.append(Text(file));
    return QJsonObject {
        { "test", Text(run.test) },
        { "round", run.round },
        { "start", Text(IsoTime(run.start)) },
        { "durationMs", static_cast<qint64>(run.durationMs) },
        { "outcome", Text(Outcome(run)) },
        { "reason", Text(run.stopped ? std::string("stopped by a signal") : run.verdict.reason) },
        { "timings", timings },
        { "bytesReceived", Number(run.bytesReceived) },
        { "pixelsDrawn", Number(run.pixelsDrawn) },
        { "frameComplete", run.verdict.frameComplete },
        { "differingPixels", Mismatch(run.mismatch) },
        { "savedFiles", saved },
        { "unit", Text(run.unit) },
        { "keptFiles", kept },
    };
}

QJsonObject Unit(const ReportedUnit &unit)
{
    QJsonValue usb = QJsonValue::Null;
    if (!unit.usbId.empty())
        usb = QJsonObject { { "id", Text(unit.usbId) }, { "serialNumber", Text(unit.usbSerialNumber) } };
    return QJsonObject {
        { "number", unit.number },
        { "id", Text(unit.id) },
        { "idSource", Text(unit.idSource) },
        { "start", Text(IsoTime(unit.start)) },
        { "usb", usb },
    };
}

struct Counts {
    std::int64_t runs = 0;
    std::int64_t passed = 0;
};

// XML 1.0 allows no control characters but tab and line ends.
QString XmlText(std::string_view text)
{
    std::string kept(text);
    for (char &c : kept) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            c = '?';
    }
    return Text(kept);
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

std::string LocalIsoTime(std::chrono::system_clock::time_point time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local {};
    localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff / 60; // minutes east of UTC
    const long absolute = offset < 0 ? -offset : offset;
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms % 1000), offset < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

std::string LocalFileTime(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local {};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &local);
    return text;
}

std::string ReportJson(const ReportContents &report)
{
    QJsonArray tests;
    for (const std::string &test : report.tests)
        tests.append(Text(test));
    QJsonValue expected = QJsonValue::Null;
    if (report.expectedFrame)
        expected = QJsonObject {
            { "file", Text(*report.expectedFrame) },
            { "tolerance", report.tolerance },
            { "maxDiffering", static_cast<qint64>(report.maxDiffering) },
        };
    QJsonArray runs;
    std::map<std::string, Counts> counts;
    for (const ReportEntry &run : report.runs) {
        runs.append(Run(run));
        if (run.stopped)
            continue;
        Counts &c = counts[run.test];
        ++c.runs;
        if (run.verdict.passed())
            ++c.passed;
    }
    QJsonObject tags;
    for (const auto &[key, value] : report.tags)
        tags.insert(Text(key), Text(value));
    QJsonArray units;
    for (const ReportedUnit &unit : report.units)
        units.append(Unit(unit));
    QJsonArray perTest;
    for (const std::string &test : report.tests) {
        const Counts c = counts[test];
        perTest.append(QJsonObject {
            { "test", Text(test) },
            { "runs", static_cast<qint64>(c.runs) },
            { "passed", static_cast<qint64>(c.passed) },
            { "failed", static_cast<qint64>(c.runs - c.passed) },
        });
    }
    const QJsonObject document {
        { "tool", QJsonObject { { "name", "camconsole" }, { "version", Text(report.version) } } },
        { "port", QJsonObject { { "device", Text(report.port) }, { "source", Text(report.portSource) } } },
        { "driver", QJsonObject { { "path", Text(report.driver) }, { "source", Text(report.driverSource) } } },
        { "start", Text(IsoTime(report.start)) },
        { "tests", tests },
        { "rounds", report.rounds },
        { "expectedFrame", expected },
        { "runs", runs },
        { "tags", tags },
        { "units", units },
        { "summary",
          QJsonObject {
              { "tests", perTest },
              { "stoppedBy", report.stoppedBy.empty() ? QJsonValue(QJsonValue::Null) : Text(report.stoppedBy) },
              { "exitStatus", report.exitStatus },
          } },
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}

namespace {

struct SuiteCounts {
    std::int64_t tests = 0;
    std::int64_t failures = 0;
    std::int64_t skipped = 0;
    std::int64_t totalMs = 0;
};

// The runs of one unit (all runs when unit is null).
std::vector<const ReportEntry *> RunsOf(const ReportContents &report, const ReportedUnit *unit)
{
    std::vector<const ReportEntry *> runs;
    for (const ReportEntry &run : report.runs) {
        if (!unit || run.unitNumber == unit->number)
            runs.push_back(&run);
    }
    return runs;
}

SuiteCounts CountsOf(const std::vector<const ReportEntry *> &runs)
{
    SuiteCounts counts;
    for (const ReportEntry *run : runs) {
        ++counts.tests;
        counts.totalMs += run->durationMs;
        if (run->stopped)
            ++counts.skipped;
        else if (!run->verdict.passed())
            ++counts.failures;
    }
    return counts;
}

void WriteCounts(QXmlStreamWriter &xml, const SuiteCounts &counts)
{
    xml.writeAttribute("tests", QString::number(counts.tests));
    xml.writeAttribute("failures", QString::number(counts.failures));
    xml.writeAttribute("errors", "0");
    xml.writeAttribute("skipped", QString::number(counts.skipped));
    xml.writeAttribute("time", Text(Seconds(counts.totalMs)));
}

void WriteProperty(QXmlStreamWriter &xml, std::string_view name, std::string_view value)
{
    xml.writeEmptyElement("property");
    xml.writeAttribute("name", XmlText(name));
    xml.writeAttribute("value", XmlText(value));
}

// A testsuite: of every run, or (with --units) of one unit's runs; its
// properties name the unit, the port, the USB adapter and the tags.
void WriteSuite(QXmlStreamWriter &xml, const ReportContents &report, const ReportedUnit *unit)
{
    const std::vector<const ReportEntry *> runs = RunsOf(report, report.unitLoop ? unit : nullptr);
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", XmlText(report.unitLoop && unit ? "camconsole unit " + unit->id : "camconsole"));
    WriteCounts(xml, CountsOf(runs));
    xml.writeAttribute("timestamp", Text(IsoTime(report.unitLoop && unit ? unit->start : report.start)));
    if (unit) {
        xml.writeStartElement("properties");
        WriteProperty(xml, "unit", unit->id);
        WriteProperty(xml, "port", report.port);
        if (!unit->usbId.empty()) {
            WriteProperty(xml, "usb", unit->usbId);
            WriteProperty(xml, "usbSerialNumber", unit->usbSerialNumber);
        }
        for (const auto &[key, value] : report.tags)
            WriteProperty(xml, key, value);
        xml.writeEndElement();
    }
    for (const ReportEntry *run : runs) {
        xml.writeStartElement("testcase");
        xml.writeAttribute("classname", XmlText("camconsole." + run->test));
        xml.writeAttribute("name", XmlText(run->test + " run " + std::to_string(run->round)));
        xml.writeAttribute("time", Text(Seconds(run->durationMs)));
        if (run->stopped) {
            xml.writeEmptyElement("skipped");
            xml.writeAttribute("message", "stopped by a signal");
        } else if (!run->verdict.passed()) {
            xml.writeEmptyElement("failure");
            xml.writeAttribute("message", XmlText(run->verdict.reason));
            xml.writeAttribute("type", run->verdict.result == Verdict::Result::Unreachable ? "unreachable" : "failed");
        }
        xml.writeTextElement("system-out", XmlText(run->log));
        // The kept files as CI servers attach files to a test case (Jenkins'
        // attachments), beside the log rather than in it.
        if (!run->keptFiles.empty()) {
            std::string attachments;
            for (const std::string &file : run->keptFiles)
                attachments += "[[ATTACHMENT|" + file + "]]\n";
            xml.writeTextElement("system-err", XmlText(attachments));
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

} // namespace

std::string ReportJunit(const ReportContents &report)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    if (!report.unitLoop) {
        WriteSuite(xml, report, report.units.empty() ? nullptr : &report.units.front());
    } else {
        xml.writeStartElement("testsuites");
        xml.writeAttribute("name", "camconsole");
        WriteCounts(xml, CountsOf(RunsOf(report, nullptr)));
        for (const ReportedUnit &unit : report.units)
            WriteSuite(xml, report, &unit);
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return bytes.toStdString();
}

namespace {

// A field as RFC 4180 writes it: in double quotes (doubled inside) when it
// holds a comma, a double quote or a line break.
std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

void AddRow(std::string &csv, const std::vector<std::string> &fields)
{
    for (std::size_t i = 0; i < fields.size(); ++i)
        csv += (i == 0 ? "" : ",") + CsvField(fields[i]);
    csv += "\r\n";
}

} // namespace

std::string ReportCsv(const ReportContents &report)
{
    // A column per timing name, in the order the runs first logged them.
    std::vector<std::string> timingNames;
    for (const ReportEntry &run : report.runs) {
        for (const RunTiming &timing : run.timings) {
            if (std::find(timingNames.begin(), timingNames.end(), timing.name) == timingNames.end())
                timingNames.push_back(timing.name);
        }
    }
    std::vector<std::string> header = { "unit" };
    for (const auto &tag : report.tags)
        header.push_back(tag.first);
    header.insert(header.end(), { "test", "run", "start", "outcome", "reason" });
    for (const std::string &name : timingNames)
        header.push_back(name + " ms");
    header.insert(header.end(), { "bytes received", "pixels differing" });
    std::string csv;
    AddRow(csv, header);
    for (const ReportEntry &run : report.runs) {
        std::vector<std::string> row = { run.unit };
        for (const auto &tag : report.tags)
            row.push_back(tag.second);
        row.insert(row.end(),
                   { run.test, std::to_string(run.round), IsoTime(run.start), Outcome(run),
                     run.stopped ? std::string("stopped by a signal") : run.verdict.reason });
        for (const std::string &name : timingNames) {
            const auto timing = std::find_if(run.timings.begin(), run.timings.end(),
                                             [&name](const RunTiming &t) { return t.name == name; });
            row.push_back(timing == run.timings.end() ? std::string() : std::to_string(timing->ms));
        }
        row.push_back(std::to_string(run.bytesReceived));
        row.push_back(run.mismatch ? std::to_string(run.mismatch->camera.differing) : std::string());
        AddRow(csv, row);
    }
    return csv;
}
