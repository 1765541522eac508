#pragma once

#include "frames/last_runs.h"

#include <QWidget>

#include <functional>

class ComparePage;
class QTabWidget;
class RecordPage;

// The frame inspector "camconsole: Frames": a page for the last run of each
// test and a page comparing the direct and the driver-library frames. It
// shows the records it is given when a test has ended; while a test runs it
// keeps showing the earlier ones and offers no saving, so that no file
// dialog holds up a reception.
class FramesWindow final : public QWidget {
    Q_OBJECT

public:
    explicit FramesWindow(QWidget *parent = nullptr);

    // Shows the recorder's last records (pages whose record did not change
    // stay as they are) and turns to the page of the test that ran last.
    void showRecords(const LastRuns &recorder);
    // Saving is offered only while allowed() is true.
    void setSaveAllowed(const std::function<bool()> &allowed);
    // Call when a test starts or ends, so the save buttons follow.
    void updateSaveButtons();

    RecordPage *page(TestKind test) const;
    ComparePage *comparePage() const { return m_compare; }
    QTabWidget *tabs() const { return m_tabs; }

private:
    QTabWidget *m_tabs = nullptr;
    RecordPage *m_pages[3] = {};
    ComparePage *m_compare = nullptr;
};
