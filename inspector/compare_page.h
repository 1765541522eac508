#pragma once

#include "frames/frame_compare.h"
#include "frames/frame_record.h"

#include <QWidget>

#include <memory>

class FrameView;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The direct and the driver-library frames side by side with a difference
// view, the count "N of M camera pixels differ (K surface pixels)" over every
// camera pixel that either drew, and a list of the differing camera pixels
// to step through (each one centred in the views and ringed in the
// difference view, so it can be found at any zoom). The views draw from the
// records' pixels as they paint; the page holds no frame images.
class ComparePage final : public QWidget {
    Q_OBJECT

public:
    explicit ComparePage(QWidget *parent = nullptr);

    // Shows the two records (either may be null). The same pair again changes nothing.
    void showRecords(std::shared_ptr<const FrameRecord> direct, std::shared_ptr<const FrameRecord> driver);

    // Over surface pixels, and over camera pixels with the listed differences.
    const FrameDifference &difference() const { return m_difference.surface; }
    const FrameComparison &cameraDifference() const { return m_difference; }
    // The most differences listed.
    static constexpr std::size_t kListedDifferences = 1000;
    QLabel *countText() const { return m_count; }
    QListWidget *differenceList() const { return m_list; }
    // The listed difference shown now (-1: none).
    int currentDifference() const;
    FrameView *directView() const { return m_views[0]; }
    FrameView *driverView() const { return m_views[1]; }
    FrameView *differenceView() const { return m_views[2]; }

public slots:
    // Turns to a listed difference: selects it, centres it in the views and
    // marks it.
    void showDifference(int index);
    void nextDifference();
    void previousDifference();

private:
    void showHover(int x, int y);

    std::shared_ptr<const FrameRecord> m_direct;
    std::shared_ptr<const FrameRecord> m_driver;
    FrameComparison m_difference;

    QStackedWidget *m_stack = nullptr;
    QLabel *m_missing = nullptr;
    QLabel *m_heading = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_cutNotice = nullptr;
    QComboBox *m_zoom = nullptr;
    FrameView *m_views[3] = {};
    QLabel *m_readout = nullptr;
    QListWidget *m_list = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QLabel *m_position = nullptr;
};
