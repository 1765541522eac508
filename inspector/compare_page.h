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
    // What the page calls its two frames: the captions over their views, the
    // words in the legend ("drawn by NAME only"), and the short words in the
    // list and the readout.
    struct Sides {
        QString firstCaption;
        QString secondCaption;
        QString firstName;
        QString secondName;
        QString firstWord;
        QString secondWord;
        QString missing; // shown while a frame is missing
    };
    // The direct and the driver-library frames.
    static Sides DirectAndDriver();

    explicit ComparePage(QWidget *parent = nullptr);
    ComparePage(const Sides &sides, QWidget *parent);

    // Shows the two records (either may be null). The same pair again changes nothing.
    void showRecords(std::shared_ptr<const FrameRecord> direct, std::shared_ptr<const FrameRecord> driver);
    // Shows two frames under a heading, counted as camera pixels of shape;
    // the captions may be renamed with them (empty: kept).
    void showFrames(const QString &heading, std::shared_ptr<const DrawnPixels> first,
                    std::shared_ptr<const DrawnPixels> second, CameraPixelShape shape, const QString &firstCaption = {},
                    const QString &secondCaption = {});

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

    void showMissing();

    Sides m_sides;
    std::shared_ptr<const FrameRecord> m_direct;
    std::shared_ptr<const FrameRecord> m_driver;
    std::shared_ptr<const DrawnPixels> m_first;
    std::shared_ptr<const DrawnPixels> m_second;
    CameraPixelShape m_shape = CameraPixelShape::TwoWide;
    FrameComparison m_difference;
    QLabel *m_captions[2] = {};

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
