#pragma once

#include "frames/capture_format.h"
#include "frames/last_runs.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class ComparePage;
class QComboBox;
class QPushButton;
class QTabWidget;
class RecordPage;

// The frame inspector "camconsole: Frames": a page for the last run of each
// test and a page comparing the direct and the driver-library frames. It
// shows the records it is given when a test has ended; while a test runs it
// keeps showing the earlier ones and offers no saving, so that no file
// dialog holds up a reception.
//
// Beside them it shows captures (Open..., camconsole --open): a page for
// each, made like the live pages; with two or more a page comparing two of
// them; and a page comparing a page's frame with a frame PNG (Compare with
// File...). The live pages are the first four and do not change with them.
class FramesWindow final : public QWidget {
    Q_OBJECT

public:
    explicit FramesWindow(QWidget *parent = nullptr);

    // Shows the recorder's last records (pages whose record did not change
    // stay as they are) and turns to the page of the test that ran last.
    void showRecords(const LastRuns &recorder);
    // Saving, and Open... and Compare with File... (whose dialogs would hold
    // up a test's event processing), are offered only while allowed() is true.
    void setSaveAllowed(const std::function<bool()> &allowed);
    // Call when a test starts or ends, so the save buttons follow.
    void updateSaveButtons();

    // Opens the capture at path on a page of its own and turns to it; false
    // with *error (the reason) when it can not be read.
    bool openCapture(const QString &path, QString *error = nullptr);
    // Shows a capture read from path on a page of its own and turns to it.
    void showCapture(const QString &path, Capture capture);
    // Compares page's frame with the frame PNG at path on the page "Compare
    // with File" and turns to it; false with *error when it can not be read.
    bool compareWithFile(RecordPage *page, const QString &path, QString *error = nullptr);

    RecordPage *page(TestKind test) const;
    ComparePage *comparePage() const { return m_compare; }
    QTabWidget *tabs() const { return m_tabs; }
    const std::vector<RecordPage *> &capturePages() const { return m_capturePages; }
    // Null until two captures are open.
    ComparePage *captureComparePage() const { return m_captureCompare; }
    // Null until Compare with File... was used.
    ComparePage *fileComparePage() const { return m_fileCompare; }

public slots:
    // Open...: asks for capture files and opens each.
    void openCapturesAsked();

private:
    void askFileToCompare(RecordPage *page);
    void compareCaptures();
    QString pageName(RecordPage *page) const;

    bool fileDialogsAllowed() const { return !m_saveAllowed || m_saveAllowed(); }

    QTabWidget *m_tabs = nullptr;
    QPushButton *m_open = nullptr;
    RecordPage *m_pages[3] = {};
    ComparePage *m_compare = nullptr;
    std::function<bool()> m_saveAllowed;
    std::vector<RecordPage *> m_capturePages;
    QWidget *m_captureCompareTab = nullptr;
    ComparePage *m_captureCompare = nullptr;
    QComboBox *m_captureChoice[2] = {};
    ComparePage *m_fileCompare = nullptr;
};
