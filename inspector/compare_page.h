#pragma once

#include "frames/frame_compare.h"
#include "frames/frame_record.h"

#include <QImage>
#include <QWidget>

#include <memory>

class FrameView;
class QComboBox;
class QLabel;
class QStackedWidget;

// The direct and the driver-library frames side by side with a difference
// view, and the count "N of M pixels differ" over every surface pixel that
// either drew.
class ComparePage final : public QWidget {
    Q_OBJECT

public:
    explicit ComparePage(QWidget *parent = nullptr);

    // Shows the two records (either may be null). The same pair again changes nothing.
    void showRecords(std::shared_ptr<const FrameRecord> direct, std::shared_ptr<const FrameRecord> driver);

    const FrameDifference &difference() const { return m_difference; }
    QLabel *countText() const { return m_count; }
    FrameView *directView() const { return m_views[0]; }
    FrameView *driverView() const { return m_views[1]; }
    FrameView *differenceView() const { return m_views[2]; }

    // The difference image: pixels equal in both dimmed, pixels of other
    // colors red, pixels drawn by the direct dump only yellow, by the driver
    // dump only cyan; transparent where neither drew.
    static QImage DifferenceImage(const DrawnPixels &direct, const DrawnPixels &driver);

private:
    void showHover(int x, int y);

    std::shared_ptr<const FrameRecord> m_direct;
    std::shared_ptr<const FrameRecord> m_driver;
    FrameDifference m_difference;

    QStackedWidget *m_stack = nullptr;
    QLabel *m_missing = nullptr;
    QLabel *m_heading = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_cutNotice = nullptr;
    QComboBox *m_zoom = nullptr;
    FrameView *m_views[3] = {};
    QLabel *m_readout = nullptr;
};
