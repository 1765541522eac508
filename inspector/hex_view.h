#pragma once

#include "decode/reply_walk.h"

#include <QAbstractScrollArea>

#include <cstddef>
#include <optional>
#include <string_view>

// The raw reply as rows of 16 bytes: the offset (decimal), the bytes in hex
// and as printable characters. Bytes are styled by what the decoder made of
// them: "ACK" and the markers it took highlighted, bytes it passed over or
// never examined dimmed. Only the rows on screen are painted, so a reply of
// any length opens and scrolls at once. A click on a byte reports its offset.
class HexView final : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int kBytesPerRow = 16;

    explicit HexView(QWidget *parent = nullptr);

    // bytes and walk must outlive the view's use of them (until the next
    // setReply); walk may be null (no styling).
    void setReply(std::string_view bytes, const ReplyWalk *walk);
    // Bytes [first, first + count) selected; count 0 clears the selection.
    void setSelection(std::size_t first, std::size_t count);
    std::size_t selectionFirst() const { return m_selectionFirst; }
    std::size_t selectionCount() const { return m_selectionCount; }
    // Scrolls so that the byte's row is on screen.
    void showOffset(std::size_t offset);
    // Wide enough for offsets, bytes and characters side by side.
    QSize sizeHint() const override;
    // The first row on screen.
    std::size_t firstVisibleRow() const;

signals:
    void byteClicked(std::size_t offset);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    enum class Style : unsigned char { Plain, Dim, Unseen, Ack, FrameStart, ColumnStart, FrameEnd, Marker, Cut };

    Style styleOf(std::size_t offset) const;
    void updateMetrics();
    void updateScrollBar();
    std::size_t rowCount() const;
    int visibleRows() const;
    std::optional<std::size_t> offsetAt(const QPoint &point) const;

    std::string_view m_bytes;
    const ReplyWalk *m_walk = nullptr;
    std::size_t m_selectionFirst = 0;
    std::size_t m_selectionCount = 0;

    int m_charWidth = 8;
    int m_rowHeight = 16;
    int m_ascent = 12;
    int m_hexLeft = 0;
    int m_textLeft = 0;
};
