#pragma once

#include "frames/frame_record.h"

#include <QWidget>

#include <vector>

// Bytes received over time since the command went out, as the reception
// loop read them (a step per read), against a dashed line at the wire's
// 11,520 bytes per second from the moment of the command.
class TimelineView final : public QWidget {
    Q_OBJECT

public:
    explicit TimelineView(QWidget *parent = nullptr);

    void setReads(std::vector<ReceptionRead> reads);

    QSize sizeHint() const override { return { 420, 150 }; }
    QSize minimumSizeHint() const override { return { 200, 110 }; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<ReceptionRead> m_reads;
};
