#pragma once

#include "decode/reply_walk.h"
#include "frames/frame_record.h"
#include "image/frame_image.h"

#include <QWidget>

#include <functional>
#include <memory>

class FrameView;
class HexView;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class TimelineView;

// The inspector's page for one test: the last run's whole frame (zoomable,
// with a readout under the mouse), its raw reply as hex with the summary of
// what the decoder did above it, pixel <-> byte selection both ways, the
// reception timeline, and "Save Frame As..." / "Save Reply As...".
class RecordPage final : public QWidget {
    Q_OBJECT

public:
    explicit RecordPage(TestKind test, QWidget *parent = nullptr);
    ~RecordPage() override;

    // Shows record (null: no run yet). The same record again changes nothing.
    void showRecord(std::shared_ptr<const FrameRecord> record);
    // Saving is offered only while allowed() is true (no test running).
    void setSaveAllowed(std::function<bool()> allowed);
    void updateSaveButtons();

    const FrameRecord *record() const { return m_record.get(); }
    const ReplyWalk *walk() const { return m_walk; }
    // The frame shown, as an image made on each call (the views draw from the
    // pixels directly).
    FrameImage frameImage() const;
    // The pixels shown: the record's, or for a reply the console did not
    // draw (cut by a link error) those its decoder draws from it.
    const DrawnPixels *pixels() const { return m_pixels.get(); }
    FrameView *frameView() const { return m_frameView; }
    HexView *hexView() const { return m_hexView; }
    QPlainTextEdit *summaryText() const { return m_summary; }
    QLabel *readout() const { return m_readout; }
    QLabel *selectionText() const { return m_selection; }
    QLabel *receptionFigures() const { return m_figures; }

    // Writes the frame PNG or the raw reply; false with *error on failure.
    bool saveFrame(const QString &path, QString *error = nullptr) const;
    bool saveReply(const QString &path, QString *error = nullptr) const;
    // Writes the run whole as a capture file (frames/capture_file.h).
    bool saveRun(const QString &path, QString *error = nullptr) const;
    // A page that shows a capture: files it saves are named after it.
    void setCaptureName(const QString &name) { m_captureName = name; }

signals:
    // Compare with File... was clicked.
    void compareWithFileRequested();

public slots:
    void selectPixel(int x, int y);
    void selectByte(std::size_t offset);
    void saveFrameAs();
    void saveReplyAs();
    void saveRunAs();

private:
    void showHover(int x, int y);
    QString fileStem() const;
    // Save <what> As...: asks where (proposing <stem>-<what>.<extension>),
    // writes with save, and says why when it could not.
    void saveAs(const QString &what, const QString &filter, const QString &extension, const QString &defaultSuffix,
                bool (RecordPage::*save)(const QString &, QString *) const);

    TestKind m_test;
    std::shared_ptr<const FrameRecord> m_record;
    const ReplyWalk *m_walk = nullptr; // the record's
    std::shared_ptr<const DrawnPixels> m_pixels;
    std::function<bool()> m_saveAllowed;

    QStackedWidget *m_stack = nullptr;
    QLabel *m_heading = nullptr;
    QLabel *m_timings = nullptr;
    QComboBox *m_zoom = nullptr;
    QPushButton *m_saveFrame = nullptr;
    QPushButton *m_saveReply = nullptr;
    QPushButton *m_saveRun = nullptr;
    QPushButton *m_compareFile = nullptr;
    QString m_captureName;
    QLabel *m_cutNotice = nullptr;
    FrameView *m_frameView = nullptr;
    QLabel *m_readout = nullptr;
    QPlainTextEdit *m_summary = nullptr;
    QLabel *m_selection = nullptr;
    HexView *m_hexView = nullptr;
    TimelineView *m_timeline = nullptr;
    QLabel *m_figures = nullptr;
};

// The zoom chooser shared by the frame pages: "Fit", "1x" ... "16x".
QComboBox *MakeZoomChooser(QWidget *parent);
// Keeps a zoom chooser and frame views in step.
void ConnectZoom(QComboBox *chooser, FrameView *view);
