#include "inspector/frames_window.h"

#include "inspector/compare_page.h"
#include "inspector/record_page.h"

#include <QTabWidget>
#include <QVBoxLayout>

FramesWindow::FramesWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FramesWindow"));
    setWindowTitle(QStringLiteral("camconsole: Frames"));
    resize(1040, 720);
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    layout->addWidget(m_tabs);
    for (TestKind test : kAllTests) {
        auto *page = new RecordPage(test, m_tabs);
        m_pages[static_cast<int>(test)] = page;
        const std::string_view caption = TestCaption(test);
        m_tabs->addTab(page, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    }
    m_compare = new ComparePage(m_tabs);
    m_tabs->addTab(m_compare, QStringLiteral("Compare"));
}

RecordPage *FramesWindow::page(TestKind test) const
{
    return m_pages[static_cast<int>(test)];
}

void FramesWindow::showRecords(const LastRuns &recorder)
{
    for (TestKind test : kAllTests)
        page(test)->showRecord(recorder.last(test));
    m_compare->showRecords(recorder.last(TestKind::Direct), recorder.last(TestKind::Driver));
    // The page of the test that ran last: the one the user just watched.
    if (const std::optional<TestKind> last = recorder.lastRun())
        m_tabs->setCurrentWidget(page(*last));
    updateSaveButtons();
}

void FramesWindow::setSaveAllowed(const std::function<bool()> &allowed)
{
    for (RecordPage *page : m_pages)
        page->setSaveAllowed(allowed);
}

void FramesWindow::updateSaveButtons()
{
    for (RecordPage *page : m_pages)
        page->updateSaveButtons();
}
