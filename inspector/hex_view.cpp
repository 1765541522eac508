#include "inspector/hex_view.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int kOffsetDigits = 7;
constexpr char kHexDigits[] = "0123456789ABCDEF";

struct StyleLook {
    QColor text;
    QColor background; // invalid: none
};

} // namespace

HexView::HexView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    horizontalScrollBar()->setSingleStep(8);
    updateMetrics();
}

void HexView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}

void HexView::updateMetrics()
{
    const QFontMetrics metrics(font());
    m_charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    m_rowHeight = metrics.height();
    m_ascent = metrics.ascent();
    m_hexLeft = (kOffsetDigits + 2) * m_charWidth;
    m_textLeft = m_hexLeft + (kBytesPerRow * 3 + 1) * m_charWidth;
    updateScrollBar();
    viewport()->update();
}

void HexView::setReply(std::string_view bytes, const ReplyWalk *walk)
{
    m_bytes = bytes;
    m_walk = walk;
    m_selectionFirst = m_selectionCount = 0;
    updateScrollBar();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void HexView::setSelection(std::size_t first, std::size_t count)
{
    m_selectionFirst = first;
    m_selectionCount = count;
    viewport()->update();
}

QSize HexView::sizeHint() const
{
    const int width
        = m_textLeft + (kBytesPerRow + 1) * m_charWidth + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    return { width, 24 * m_rowHeight };
}

std::size_t HexView::rowCount() const
{
    return (m_bytes.size() + kBytesPerRow - 1) / kBytesPerRow;
}

int HexView::visibleRows() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

std::size_t HexView::firstVisibleRow() const
{
    return static_cast<std::size_t>(verticalScrollBar()->value());
}

void HexView::showOffset(std::size_t offset)
{
    const auto row = static_cast<int>(offset / kBytesPerRow);
    const int first = verticalScrollBar()->value();
    if (row < first || row >= first + visibleRows())
        verticalScrollBar()->setValue(row - visibleRows() / 2);
}

void HexView::updateScrollBar()
{
    // One scroll step is one row; a 262,144-byte reply has 16,384 rows.
    const int rows = static_cast<int>(rowCount());
    verticalScrollBar()->setRange(0, std::max(0, rows - visibleRows()));
    verticalScrollBar()->setPageStep(visibleRows());
    const int width = m_textLeft + (kBytesPerRow + 1) * m_charWidth;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

HexView::Style HexView::styleOf(std::size_t offset) const
{
    if (!m_walk)
        return Style::Plain;
    if (const auto ack = m_walk->summary().ack; ack && offset >= *ack && offset < *ack + 3)
        return Style::Ack;
    switch (m_walk->roleOf(offset)) {
    case ByteRole::Pixel:
        return Style::Plain;
    case ByteRole::Skipped:
        return Style::Dim;
    case ByteRole::NotExamined:
        return Style::Unseen;
    case ByteRole::CutPixel:
        return Style::Cut;
    case ByteRole::Marker:
        switch (static_cast<unsigned char>(m_bytes[offset])) {
        case 1:
            return Style::FrameStart;
        case 2:
            return Style::ColumnStart;
        case 3:
            return Style::FrameEnd;
        default:
            return Style::Marker;
        }
    }
    return Style::Plain;
}

void HexView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const QColor base = palette().color(QPalette::Base);
    const QColor text = palette().color(QPalette::Text);
    painter.fillRect(viewport()->rect(), base);
    painter.setFont(font());

    const auto look = [&](Style style) -> StyleLook {
        switch (style) {
        case Style::Plain:
            return { text, {} };
        case Style::Dim:
            return { QColor(128, 128, 128), {} };
        case Style::Unseen:
            return { QColor(176, 176, 176), {} };
        case Style::Ack:
            return { text, QColor(170, 230, 170) };
        case Style::FrameStart:
            return { text, QColor(140, 190, 255) };
        case Style::ColumnStart:
            return { text, QColor(200, 225, 255) };
        case Style::FrameEnd:
            return { text, QColor(255, 200, 130) };
        case Style::Marker:
            return { text, QColor(220, 190, 255) };
        case Style::Cut:
            return { QColor(200, 0, 0), QColor(255, 220, 220) };
        }
        return { text, {} };
    };

    const int dx = -horizontalScrollBar()->value();
    const std::size_t firstRow = firstVisibleRow();
    const std::size_t lastRow = std::min(rowCount(), firstRow + static_cast<std::size_t>(visibleRows()) + 1);
    const QColor selection = palette().color(QPalette::Highlight);
    const QColor selectedText = palette().color(QPalette::HighlightedText);
    char hex[kBytesPerRow * 3];
    char printable[kBytesPerRow];

    for (std::size_t row = firstRow; row < lastRow; ++row) {
        const int y = static_cast<int>(row - firstRow) * m_rowHeight;
        const std::size_t rowStart = row * kBytesPerRow;
        const std::size_t count = std::min<std::size_t>(kBytesPerRow, m_bytes.size() - rowStart);

        painter.setPen(QColor(128, 128, 128));
        painter.drawText(dx, y + m_ascent, QString::number(rowStart).rightJustified(kOffsetDigits, QLatin1Char(' ')));

        for (std::size_t i = 0; i < count; ++i) {
            const auto byte = static_cast<unsigned char>(m_bytes[rowStart + i]);
            hex[3 * i] = kHexDigits[byte >> 4];
            hex[3 * i + 1] = kHexDigits[byte & 15];
            hex[3 * i + 2] = ' ';
            printable[i] = byte >= 32 && byte < 127 ? static_cast<char>(byte) : '.';
        }

        // Runs of bytes of one style: one background and one text call each.
        std::size_t runStart = 0;
        while (runStart < count) {
            const std::size_t offset = rowStart + runStart;
            const bool selected = offset >= m_selectionFirst && offset < m_selectionFirst + m_selectionCount;
            const Style style = styleOf(offset);
            std::size_t runEnd = runStart + 1;
            while (runEnd < count) {
                const std::size_t next = rowStart + runEnd;
                const bool nextSelected = next >= m_selectionFirst && next < m_selectionFirst + m_selectionCount;
                if (nextSelected != selected || styleOf(next) != style)
                    break;
                ++runEnd;
            }
            const StyleLook styled = look(style);
            const QColor background = selected ? selection : styled.background;
            const int hexX = dx + m_hexLeft + static_cast<int>(runStart) * 3 * m_charWidth;
            const int textX = dx + m_textLeft + static_cast<int>(runStart) * m_charWidth;
            const int n = static_cast<int>(runEnd - runStart);
            if (background.isValid()) {
                painter.fillRect(hexX, y, n * 3 * m_charWidth - m_charWidth, m_rowHeight, background);
                painter.fillRect(textX, y, n * m_charWidth, m_rowHeight, background);
            }
            painter.setPen(selected ? selectedText : styled.text);
            // Each byte at its own column: a font's advance is rarely a whole
            // pixel, so text drawn in runs of other lengths would drift
            // apart from row to row.
            for (int i = 0; i < n; ++i) {
                const auto at = static_cast<std::size_t>(runStart) + static_cast<std::size_t>(i);
                painter.drawText(hexX + 3 * i * m_charWidth, y + m_ascent, QString::fromLatin1(hex + 3 * at, 2));
                painter.drawText(textX + i * m_charWidth, y + m_ascent, QString::fromLatin1(printable + at, 1));
            }
            runStart = runEnd;
        }
    }
}

std::optional<std::size_t> HexView::offsetAt(const QPoint &point) const
{
    const int x = point.x() + horizontalScrollBar()->value();
    const std::size_t row = firstVisibleRow() + static_cast<std::size_t>(std::max(0, point.y()) / m_rowHeight);
    int column = -1;
    if (x >= m_hexLeft && x < m_textLeft - m_charWidth)
        column = (x - m_hexLeft) / (3 * m_charWidth);
    else if (x >= m_textLeft && x < m_textLeft + kBytesPerRow * m_charWidth)
        column = (x - m_textLeft) / m_charWidth;
    if (column < 0 || column >= kBytesPerRow)
        return std::nullopt;
    const std::size_t offset = row * kBytesPerRow + static_cast<std::size_t>(column);
    if (offset >= m_bytes.size())
        return std::nullopt;
    return offset;
}

void HexView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (const auto offset = offsetAt(event->position().toPoint()))
        emit byteClicked(*offset);
}
