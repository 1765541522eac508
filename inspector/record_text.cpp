#include "inspector/record_text.h"

#include "frames/number_text.h"

#include <QDateTime>

QString CountText(std::uint64_t value)
{
    return QString::fromStdString(Count(value));
}

QString ColorText(ColorValue color)
{
    const auto hex
        = [](unsigned component) { return QStringLiteral("%1").arg(component, 2, 16, QLatin1Char('0')).toUpper(); };
    return QStringLiteral("R %1, G %2, B %3 (#%4%5%6)")
        .arg(RedOf(color))
        .arg(GreenOf(color))
        .arg(BlueOf(color))
        .arg(hex(RedOf(color)), hex(GreenOf(color)), hex(BlueOf(color)));
}

QString RecordHeading(const FrameRecord &record)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(record.startedAt.time_since_epoch()).count();
    const QString when = QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString through
        = record.test == TestKind::Driver ? QStringLiteral("driver library ") : QStringLiteral("port ");
    return QString::fromUtf8(TestCaption(record.test).data(), static_cast<qsizetype>(TestCaption(record.test).size()))
        + QStringLiteral(", ") + when + QStringLiteral(", ") + through + QString::fromStdString(record.source);
}

QString TimingsText(const FrameRecord &record)
{
    QStringList parts;
    for (const RunTiming &timing : record.timings)
        parts << QString::fromStdString(timing.name) + QStringLiteral(": ") + QString::number(timing.logged)
                + QLatin1Char(' ')
                + QString::fromLatin1(timing.unit.data(), static_cast<qsizetype>(timing.unit.size()));
    return parts.join(QStringLiteral("  \u00b7  "));
}
