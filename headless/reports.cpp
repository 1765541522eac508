#include "reports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamWriter>

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
        { "summary",
          QJsonObject {
              { "tests", perTest },
              { "stoppedBy", report.stoppedBy.empty() ? QJsonValue(QJsonValue::Null) : Text(report.stoppedBy) },
              { "exitStatus", report.exitStatus },
          } },
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}

std::string ReportJunit(const ReportContents &report)
{
    std::int64_t failures = 0;
    std::int64_t skipped = 0;
    std::int64_t totalMs = 0;
    for (const ReportEntry &run : report.runs) {
        totalMs += run.durationMs;
        if (run.stopped)
            ++skipped;
        else if (!run.verdict.passed())
            ++failures;
    }
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", "camconsole");
    xml.writeAttribute("tests", QString::number(report.runs.size()));
    xml.writeAttribute("failures", QString::number(failures));
    xml.writeAttribute("errors", "0");
    xml.writeAttribute("skipped", QString::number(skipped));
    xml.writeAttribute("time", Text(Seconds(totalMs)));
    xml.writeAttribute("timestamp", Text(IsoTime(report.start)));
    for (const ReportEntry &run : report.runs) {
        xml.writeStartElement("testcase");
        xml.writeAttribute("classname", XmlText("camconsole." + run.test));
        xml.writeAttribute("name", XmlText(run.test + " run " + std::to_string(run.round)));
        xml.writeAttribute("time", Text(Seconds(run.durationMs)));
        if (run.stopped) {
            xml.writeEmptyElement("skipped");
            xml.writeAttribute("message", "stopped by a signal");
        } else if (!run.verdict.passed()) {
            xml.writeEmptyElement("failure");
            xml.writeAttribute("message", XmlText(run.verdict.reason));
            xml.writeAttribute("type", run.verdict.result == Verdict::Result::Unreachable ? "unreachable" : "failed");
        }
        xml.writeTextElement("system-out", XmlText(run.log));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes.toStdString();
}
