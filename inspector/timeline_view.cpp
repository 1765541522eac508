#include "inspector/timeline_view.h"

#include "frames/number_text.h"
#include "frames/reception_figures.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

TimelineView::TimelineView(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void TimelineView::setReads(std::vector<ReceptionRead> reads)
{
    m_reads = std::move(reads);
    update();
}

void TimelineView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QFontMetrics metrics(font());
    const QColor axis = palette().color(QPalette::Text);

    const ReceptionFigures figures = FiguresOf(m_reads);
    const std::int64_t lastReadMs = m_reads.empty() ? 0 : m_reads.back().msSinceCommand;
    const double wireMs = static_cast<double>(figures.bytes) / kWireBytesPerSecond * 1000.0;
    const double spanMs = std::max({ 1.0, static_cast<double>(lastReadMs), wireMs });
    const double spanBytes = std::max<double>(1.0, static_cast<double>(figures.bytes));

    const QString bytesLabel = QString::fromStdString(Count(figures.bytes)) + QStringLiteral(" B");
    const int left = metrics.horizontalAdvance(bytesLabel) + 10;
    const QRectF plot(left, metrics.height() / 2.0 + 4, width() - left - 12, height() - 2.5 * metrics.height() - 8);
    if (plot.width() < 10 || plot.height() < 10)
        return;
    const auto at = [&](double ms, double bytes) {
        return QPointF(plot.left() + ms / spanMs * plot.width(), plot.bottom() - bytes / spanBytes * plot.height());
    };

    // Axes and their end labels.
    painter.setPen(axis);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawText(QRectF(0, plot.top() - metrics.height() / 2.0, left - 6, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, bytesLabel);
    painter.drawText(QRectF(0, plot.bottom() - metrics.height() / 2.0, left - 6, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    const QString timeLabel
        = QString::fromStdString(Count(static_cast<std::uint64_t>(std::lround(spanMs)))) + QStringLiteral(" ms");
    painter.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), metrics.height()), Qt::AlignLeft,
                     QStringLiteral("0"));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), metrics.height()), Qt::AlignRight, timeLabel);

    // The wire's pace, from the command on.
    painter.setPen(QPen(QColor(128, 128, 128), 1, Qt::DashLine));
    const double wireEndMs = std::min(spanMs, spanBytes / kWireBytesPerSecond * 1000.0);
    painter.drawLine(at(0, 0), at(wireEndMs, wireEndMs * kWireBytesPerSecond / 1000.0));

    // Bytes received: a step at each read.
    QPainterPath received(at(0, 0));
    double total = 0;
    for (const ReceptionRead &read : m_reads) {
        received.lineTo(at(static_cast<double>(read.msSinceCommand), total));
        total += static_cast<double>(read.bytes);
        received.lineTo(at(static_cast<double>(read.msSinceCommand), total));
    }
    painter.setPen(QPen(QColor(0, 90, 200), 2));
    painter.drawPath(received);
    // A dot per read, hollow where the read brought nothing.
    total = 0;
    for (const ReceptionRead &read : m_reads) {
        total += static_cast<double>(read.bytes);
        painter.setBrush(read.bytes > 0 ? QBrush(QColor(0, 90, 200)) : QBrush(Qt::white));
        painter.drawEllipse(at(static_cast<double>(read.msSinceCommand), total), 2.5, 2.5);
    }
}
