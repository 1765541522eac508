#include "inspector/frames_window.h"

#include "frames/capture_file.h"
#include "frames/frame_compare.h"
#include "image/png_file.h"
#include "inspector/compare_page.h"
#include "inspector/record_page.h"
#include "inspector/record_text.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString Caption(TestKind test)
{
    const std::string_view caption = TestCaption(test);
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
}

// The folder of the last capture or frame opened, while the console runs.
QString &LastOpenFolder()
{
    static QString folder;
    return folder;
}

} // namespace

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
        m_tabs->addTab(page, Caption(test));
        connect(page, &RecordPage::compareWithFileRequested, this, [this, page] { askFileToCompare(page); });
    }
    m_compare = new ComparePage(m_tabs);
    m_tabs->addTab(m_compare, QStringLiteral("Compare"));
    m_open = new QPushButton(QStringLiteral("Open..."), m_tabs);
    m_tabs->setCornerWidget(m_open, Qt::TopRightCorner);
    connect(m_open, &QPushButton::clicked, this, &FramesWindow::openCapturesAsked);
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
    m_saveAllowed = allowed;
    for (RecordPage *page : m_pages)
        page->setSaveAllowed(allowed);
    for (RecordPage *page : m_capturePages)
        page->setSaveAllowed(allowed);
    m_open->setEnabled(fileDialogsAllowed());
}

void FramesWindow::updateSaveButtons()
{
    for (RecordPage *page : m_pages)
        page->updateSaveButtons();
    for (RecordPage *page : m_capturePages)
        page->updateSaveButtons();
    m_open->setEnabled(fileDialogsAllowed());
}

bool FramesWindow::openCapture(const QString &path, QString *error)
{
    std::string reason;
    std::optional<Capture> capture = LoadCapture(path.toStdString(), &reason);
    if (!capture) {
        if (error)
            *error = QString::fromStdString(reason);
        return false;
    }
    showCapture(path, std::move(*capture));
    return true;
}

void FramesWindow::showCapture(const QString &path, Capture capture)
{
    const QFileInfo file(path);
    auto *page = new RecordPage(capture.record.test, m_tabs);
    page->setCaptureName(file.completeBaseName());
    if (m_saveAllowed)
        page->setSaveAllowed(m_saveAllowed);
    page->showRecord(std::make_shared<const FrameRecord>(std::move(capture.record)));
    connect(page, &RecordPage::compareWithFileRequested, this, [this, page] { askFileToCompare(page); });
    m_capturePages.push_back(page);
    const int tab = m_tabs->addTab(page, file.fileName());
    m_tabs->setTabToolTip(tab, file.absoluteFilePath());
    m_tabs->setCurrentIndex(tab);

    if (m_capturePages.size() >= 2) {
        if (!m_captureCompareTab) {
            m_captureCompareTab = new QWidget(m_tabs);
            auto *layout = new QVBoxLayout(m_captureCompareTab);
            auto *choices = new QHBoxLayout;
            const QString labels[2] = { QStringLiteral("First:"), QStringLiteral("Second:") };
            for (int i = 0; i < 2; ++i) {
                choices->addWidget(new QLabel(labels[i], m_captureCompareTab));
                m_captureChoice[i] = new QComboBox(m_captureCompareTab);
                choices->addWidget(m_captureChoice[i], 1);
            }
            layout->addLayout(choices);
            m_captureCompare = new ComparePage(
                { QStringLiteral("First capture"), QStringLiteral("Second capture"),
                  QStringLiteral("the first capture"), QStringLiteral("the second capture"), QStringLiteral("first"),
                  QStringLiteral("second"), QStringLiteral("Choose two captures to compare their frames.") },
                m_captureCompareTab);
            layout->addWidget(m_captureCompare, 1);
            m_tabs->insertTab(m_tabs->indexOf(m_capturePages.front()), m_captureCompareTab,
                              QStringLiteral("Compare Captures"));
            for (QComboBox *choice : m_captureChoice)
                connect(choice, &QComboBox::currentIndexChanged, this, &FramesWindow::compareCaptures);
        }
        for (int i = 0; i < 2; ++i) {
            QComboBox *choice = m_captureChoice[i];
            choice->blockSignals(true);
            while (static_cast<std::size_t>(choice->count()) < m_capturePages.size())
                choice->addItem(pageName(m_capturePages[static_cast<std::size_t>(choice->count())]));
            // The first two opened, until the user chooses others.
            if (m_capturePages.size() == 2)
                choice->setCurrentIndex(i);
            choice->blockSignals(false);
        }
        compareCaptures();
    }
    m_tabs->setCurrentWidget(page);
}

void FramesWindow::compareCaptures()
{
    const auto chosen = [this](int side) -> RecordPage * {
        const int index = m_captureChoice[side]->currentIndex();
        return index >= 0 && static_cast<std::size_t>(index) < m_capturePages.size()
            ? m_capturePages[static_cast<std::size_t>(index)]
            : nullptr;
    };
    RecordPage *first = chosen(0);
    RecordPage *second = chosen(1);
    if (!first || !second || !first->record() || !second->record()) {
        m_captureCompare->showFrames({}, nullptr, nullptr, CameraPixelShape::TwoWide);
        return;
    }
    const auto pixelsOf = [](RecordPage *page) { return std::make_shared<const DrawnPixels>(*page->pixels()); };
    m_captureCompare->showFrames(RecordHeading(*first->record()) + QStringLiteral("\n")
                                     + RecordHeading(*second->record()),
                                 pixelsOf(first), pixelsOf(second), ShapeOf(first->record()->test),
                                 m_captureChoice[0]->currentText(), m_captureChoice[1]->currentText());
}

QString FramesWindow::pageName(RecordPage *page) const
{
    return m_tabs->tabText(m_tabs->indexOf(page));
}

bool FramesWindow::compareWithFile(RecordPage *page, const QString &path, QString *error)
{
    if (!page->record() || !page->pixels())
        return false;
    std::string reason;
    std::optional<SavedFrame> frame = ReadSavedFrame(path.toStdString(), &reason);
    if (!frame) {
        if (error)
            *error = QString::fromStdString(reason);
        return false;
    }
    const QString fileName = QFileInfo(path).fileName();
    if (!m_fileCompare) {
        m_fileCompare
            = new ComparePage({ QStringLiteral("This run"), QStringLiteral("The file"), QStringLiteral("this run"),
                                QStringLiteral("the file"), QStringLiteral("run"), QStringLiteral("file"), QString() },
                              m_tabs);
        m_tabs->addTab(m_fileCompare, QStringLiteral("Compare with File"));
    }
    m_fileCompare->showFrames(RecordHeading(*page->record()) + QStringLiteral("\n")
                                  + QStringLiteral("The file %1").arg(QFileInfo(path).absoluteFilePath()),
                              std::make_shared<const DrawnPixels>(*page->pixels()),
                              std::make_shared<const DrawnPixels>(std::move(frame->pixels)),
                              ShapeOf(page->record()->test), pageName(page), fileName);
    m_tabs->setCurrentWidget(m_fileCompare);
    return true;
}

void FramesWindow::askFileToCompare(RecordPage *page)
{
    if (!fileDialogsAllowed())
        return;
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Compare with File"), LastOpenFolder(),
                                                      QStringLiteral("PNG images (*.png)"));
    if (path.isEmpty())
        return;
    LastOpenFolder() = QFileInfo(path).absolutePath();
    QString error;
    if (!compareWithFile(page, path, &error))
        QMessageBox::warning(this, QStringLiteral("Compare with File"),
                             QStringLiteral("The frame could not be read from %1:\n%2").arg(path, error));
}

void FramesWindow::openCapturesAsked()
{
    if (!fileDialogsAllowed())
        return;
    const QStringList paths
        = QFileDialog::getOpenFileNames(this, QStringLiteral("Open Captures"), LastOpenFolder(),
                                        QStringLiteral("camconsole captures (*.camrun);;All files (*)"));
    for (const QString &path : paths) {
        LastOpenFolder() = QFileInfo(path).absolutePath();
        QString error;
        if (!openCapture(path, &error))
            QMessageBox::warning(this, QStringLiteral("Open"),
                                 QStringLiteral("Cannot open capture %1:\n%2").arg(path, error));
    }
}
