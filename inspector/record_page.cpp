#include "inspector/record_page.h"

#include "frames/atomic_file.h"
#include "frames/capture_file.h"
#include "frames/number_text.h"
#include "frames/run_judgement.h"
#include "frames/summary_text.h"
#include "image/frame_image.h"
#include "inspector/frame_source.h"
#include "inspector/frame_view.h"
#include "inspector/hex_view.h"
#include "inspector/record_text.h"
#include "inspector/save_dialog.h"
#include "inspector/timeline_view.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// A one-line label whose text never widens the layout around it.
QLabel *LineLabel(QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral(" "), parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QString RoleText(ByteRole role, unsigned char byte, ReplyDecoder decoder)
{
    switch (role) {
    case ByteRole::NotExamined:
        return QStringLiteral("never examined");
    case ByteRole::Skipped:
        return decoder == ReplyDecoder::LineMode ? QStringLiteral("passed over before the bitmap")
                                                 : QStringLiteral("passed over outside a frame");
    case ByteRole::CutPixel:
        return QStringLiteral("red byte of a pixel cut short, not drawn");
    case ByteRole::Pixel:
        return QStringLiteral("pixel data");
    case ByteRole::Marker:
        switch (byte) {
        case 1:
            return QStringLiteral("taken for a frame start");
        case 2:
            return QStringLiteral("taken for a column start");
        case 3:
            return QStringLiteral("taken for an end marker");
        default:
            return QStringLiteral("taken for a marker");
        }
    }
    return {};
}

// The surface pixels a camera pixel was painted on, as one rectangle.
QRect CameraPixelRect(const ReplyWalk &walk, const WalkPixel &pixel)
{
    const auto [x2, y2] = walk.secondSurfacePixel(pixel);
    return QRect(QPoint(static_cast<int>(pixel.x), static_cast<int>(pixel.y)),
                 QPoint(static_cast<int>(x2), static_cast<int>(y2)));
}

QString BytesText(std::size_t first, std::size_t count)
{
    return count == 1
        ? QStringLiteral("byte ") + CountText(first)
        : QStringLiteral("bytes ") + CountText(first) + QStringLiteral("-") + CountText(first + count - 1);
}

QString Text(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

QComboBox *MakeZoomChooser(QWidget *parent)
{
    auto *chooser = new QComboBox(parent);
    chooser->addItem(QStringLiteral("Fit"), FrameView::kFit);
    for (int zoom : kFrameZoomSteps)
        chooser->addItem(QStringLiteral("%1x").arg(zoom), zoom);
    return chooser;
}

void ConnectZoom(QComboBox *chooser, FrameView *view)
{
    QObject::connect(chooser, &QComboBox::currentIndexChanged, view,
                     [chooser, view](int index) { view->setZoom(chooser->itemData(index).toInt()); });
    QObject::connect(view, &FrameView::zoomChanged, chooser, [chooser](int zoom) {
        const int index = chooser->findData(zoom);
        if (index >= 0)
            chooser->setCurrentIndex(index);
    });
}

RecordPage::RecordPage(TestKind test, QWidget *parent) : QWidget(parent), m_test(test)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    outer->addWidget(m_stack);

    auto *empty = new QLabel(
        QStringLiteral("No run of %1 yet.")
            .arg(QString::fromUtf8(TestCaption(test).data(), static_cast<qsizetype>(TestCaption(test).size()))),
        m_stack);
    empty->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(empty);

    auto *content = new QWidget(m_stack);
    auto *layout = new QVBoxLayout(content);
    m_heading = new QLabel(content);
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_timings = new QLabel(content);
    m_timings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_heading);
    layout->addWidget(m_timings);

    auto *tools = new QHBoxLayout;
    tools->addWidget(new QLabel(QStringLiteral("Zoom:"), content));
    m_zoom = MakeZoomChooser(content);
    tools->addWidget(m_zoom);
    m_saveFrame = new QPushButton(QStringLiteral("Save Frame As..."), content);
    m_saveReply = new QPushButton(QStringLiteral("Save Reply As..."), content);
    m_saveRun = new QPushButton(QStringLiteral("Save Run As..."), content);
    m_compareFile = new QPushButton(QStringLiteral("Compare with File..."), content);
    tools->addWidget(m_saveFrame);
    tools->addWidget(m_saveReply);
    tools->addWidget(m_saveRun);
    tools->addWidget(m_compareFile);
    m_cutNotice = new QLabel(content);
    tools->addWidget(m_cutNotice, 1);
    layout->addLayout(tools);

    auto *split = new QSplitter(Qt::Horizontal, content);
    auto *framePane = new QWidget(split);
    auto *frameLayout = new QVBoxLayout(framePane);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    m_frameView = new FrameView(framePane);
    frameLayout->addWidget(m_frameView, 1);

    auto *replyPane = new QWidget(split);
    auto *replyLayout = new QVBoxLayout(replyPane);
    replyLayout->setContentsMargins(0, 0, 0, 0);
    m_summary = new QPlainTextEdit(replyPane);
    m_summary->setReadOnly(true);
    m_summary->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_summary->setMaximumHeight(11 * QFontMetrics(m_summary->font()).height());
    m_selection = LineLabel(replyPane);
    m_hexView = new HexView(replyPane);
    replyLayout->addWidget(m_summary);
    replyLayout->addWidget(m_selection);
    replyLayout->addWidget(m_hexView, 1);
    split->addWidget(framePane);
    split->addWidget(replyPane);
    // The hex view keeps its natural width; the frame takes what is left.
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({ 1, m_hexView->sizeHint().width() });
    layout->addWidget(split, 1);
    m_readout = LineLabel(content);
    layout->addWidget(m_readout);

    auto *reception = new QHBoxLayout;
    m_timeline = new TimelineView(content);
    m_figures = new QLabel(content);
    m_figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_figures->setMinimumWidth(280);
    reception->addWidget(m_timeline, 1);
    reception->addWidget(m_figures);
    layout->addLayout(reception);
    m_stack->addWidget(content);

    ConnectZoom(m_zoom, m_frameView);
    connect(m_frameView, &FrameView::hovered, this, &RecordPage::showHover);
    connect(m_frameView, &FrameView::clicked, this, &RecordPage::selectPixel);
    connect(m_hexView, &HexView::byteClicked, this, &RecordPage::selectByte);
    connect(m_saveFrame, &QPushButton::clicked, this, &RecordPage::saveFrameAs);
    connect(m_saveReply, &QPushButton::clicked, this, &RecordPage::saveReplyAs);
    connect(m_saveRun, &QPushButton::clicked, this, &RecordPage::saveRunAs);
    connect(m_compareFile, &QPushButton::clicked, this, &RecordPage::compareWithFileRequested);
}

RecordPage::~RecordPage() = default;

void RecordPage::setSaveAllowed(std::function<bool()> allowed)
{
    m_saveAllowed = std::move(allowed);
    updateSaveButtons();
}

void RecordPage::updateSaveButtons()
{
    const bool allowed = !m_saveAllowed || m_saveAllowed();
    m_saveFrame->setEnabled(allowed && m_pixels && !m_pixels->empty());
    m_saveReply->setEnabled(allowed && m_record && m_record->requested);
    m_saveRun->setEnabled(allowed && m_record);
    m_compareFile->setEnabled(allowed && m_record);
}

void RecordPage::showRecord(std::shared_ptr<const FrameRecord> record)
{
    if (record == m_record)
        return;
    // The views point into the old record and walk until they are given new ones.
    m_hexView->setReply({}, nullptr);
    m_record = std::move(record);
    m_walk = nullptr;
    m_pixels.reset();
    if (!m_record) {
        m_frameView->setSource(nullptr);
        m_stack->setCurrentIndex(0);
        updateSaveButtons();
        return;
    }
    const FrameRecord &r = *m_record;
    // The walk the test recorded as it decoded the reply, or over a reply a
    // link error cut (the console draws nothing then); another reply is shown
    // plain.
    m_walk = r.walk ? &*r.walk : nullptr;
    const bool notDrawn = m_walk && !r.decoded;
    if (notDrawn)
        m_pixels = std::make_shared<const DrawnPixels>(DrawnPixelsOf(*m_walk));
    else
        m_pixels = std::shared_ptr<const DrawnPixels>(m_record, &r.pixels);

    m_heading->setText(QStringLiteral("<b>%1</b>").arg(RecordHeading(r).toHtmlEscaped()));
    const QString timings = TimingsText(r);
    m_timings->setText(timings.isEmpty() ? QStringLiteral("No timings logged.") : timings);
    const QString cut = CutNotice(m_pixels->width(), m_pixels->height());
    QString notice = cut.isEmpty() ? QString() : cut + QStringLiteral(" So does a saved PNG.");
    if (notDrawn)
        notice = QStringLiteral("Not drawn by the console: link error. ") + notice;
    m_cutNotice->setText(notice);
    m_frameView->setSource(m_pixels->empty() ? nullptr : std::make_shared<DrawnPixelsSource>(m_pixels));
    m_readout->setText(m_pixels->empty() ? QStringLiteral("Nothing drawn.") : QStringLiteral(" "));

    // The plain answer first; the walk, quirks and all, under its own heading.
    QStringList summary;
    summary << Text(OutcomeLine(r)) + QLatin1Char('.');
    if (r.requested && !m_walk)
        summary << QString()
                << QStringLiteral("%1 received; the test did not decode them (see its log).")
                       .arg(r.reply.size() == 1 ? QStringLiteral("1 byte")
                                                : CountText(r.reply.size()) + QStringLiteral(" bytes"));
    else if (m_walk) {
        summary << QString() << QStringLiteral("How the decoder walked the reply:");
        for (const std::string &line : DescribeSummary(m_walk->summary()))
            summary << QString::fromStdString(line);
    }
    m_summary->setPlainText(summary.join(QLatin1Char('\n')));
    m_selection->setText(QStringLiteral(" "));
    m_hexView->setReply(r.reply, m_walk);

    m_timeline->setVisible(r.test != TestKind::Driver);
    if (r.test != TestKind::Driver)
        m_timeline->setReads(r.reads);
    QStringList reception;
    for (const std::string &line : ReceptionLines(r))
        reception << Text(line);
    m_figures->setText(reception.join(QLatin1Char('\n')));
    m_stack->setCurrentIndex(1);
    updateSaveButtons();
}

void RecordPage::showHover(int x, int y)
{
    if (!m_record || x < 0) {
        m_readout->setText(!m_pixels || m_pixels->empty() ? QStringLiteral("Nothing drawn.") : QStringLiteral(" "));
        return;
    }
    QString text = QStringLiteral("x %1, y %2").arg(x).arg(y);
    const std::optional<ColorValue> color = m_pixels->at(x, y);
    const WalkPixel *source = m_walk ? m_walk->pixelAt(x, y) : nullptr;
    if (!color) {
        m_readout->setText(text + QStringLiteral("  \u00b7  not drawn"));
        return;
    }
    if (source) {
        const ReplyWalk::CameraPosition at = m_walk->cameraPositionOf(*source);
        if (at.column < 0)
            text += QStringLiteral("  \u00b7  before the first column start, row %1").arg(at.row);
        else
            text += QStringLiteral("  \u00b7  column %1, row %2").arg(at.column).arg(at.row);
    }
    if (m_test == TestKind::LineMode)
        text += *color == kBlue ? QStringLiteral("  \u00b7  bit 1 (blue)") : QStringLiteral("  \u00b7  bit 0 (black)");
    else
        text += QStringLiteral("  \u00b7  ") + ColorText(*color);
    if (source)
        text += QStringLiteral("  \u00b7  ") + BytesText(source->offset, ReplyWalk::ByteCountOf(*source))
            + (source->bit >= 0 ? QStringLiteral(", bit %1").arg(source->bit) : QString());
    m_readout->setText(text);
}

void RecordPage::selectPixel(int x, int y)
{
    if (!m_walk)
        return;
    const WalkPixel *source = m_walk->pixelAt(x, y);
    if (!source) {
        m_frameView->setMarks({});
        m_hexView->setSelection(0, 0);
        m_selection->setText(QStringLiteral("x %1, y %2: not drawn.").arg(x).arg(y));
        return;
    }
    const std::size_t count = ReplyWalk::ByteCountOf(*source);
    m_frameView->setMarks({ CameraPixelRect(*m_walk, *source) });
    m_hexView->setSelection(source->offset, count);
    m_hexView->showOffset(source->offset);
    m_selection->setText(
        QStringLiteral("x %1, y %2 came from %3.").arg(x).arg(y).arg(BytesText(source->offset, count)));
}

void RecordPage::selectByte(std::size_t offset)
{
    if (!m_walk || !m_record || offset >= m_record->reply.size())
        return;
    const auto byte = static_cast<unsigned char>(m_record->reply[offset]);
    const std::span<const WalkPixel> pixels = m_walk->pixelsFrom(offset);
    QString text = QStringLiteral("Byte %1 = %2 (0x%3): ")
                       .arg(CountText(offset))
                       .arg(byte)
                       .arg(QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper());
    if (pixels.empty()) {
        m_frameView->setMarks({});
        m_hexView->setSelection(offset, 1);
        m_selection->setText(text + RoleText(m_walk->roleOf(offset), byte, m_walk->decoder()) + QLatin1Char('.'));
        return;
    }
    std::vector<QRect> marks;
    QRect bounds;
    for (const WalkPixel &p : pixels) {
        marks.push_back(CameraPixelRect(*m_walk, p));
        bounds = bounds.united(marks.back());
    }
    const std::size_t first = pixels.front().offset;
    const std::size_t count = pixels.back().offset + ReplyWalk::ByteCountOf(pixels.back()) - first;
    m_frameView->setMarks(std::move(marks));
    m_frameView->showSurfaceRect(bounds);
    m_hexView->setSelection(first, count);
    const WalkPixel &p = pixels.front();
    text += pixels.size() == 1
        ? QStringLiteral("drawn at x %1, y %2.").arg(p.x).arg(p.y)
        : QStringLiteral("%1 pixels drawn from x %2, y %3.").arg(pixels.size()).arg(p.x).arg(p.y);
    m_selection->setText(text);
}

QString RecordPage::fileStem() const
{
    if (!m_captureName.isEmpty())
        return m_captureName;
    switch (m_test) {
    case TestKind::Direct:
        return QStringLiteral("direct");
    case TestKind::LineMode:
        return QStringLiteral("line-mode");
    case TestKind::Driver:
        return QStringLiteral("driver");
    }
    return QStringLiteral("frame");
}

FrameImage RecordPage::frameImage() const
{
    return m_pixels ? RenderFrame(*m_pixels) : FrameImage {};
}

bool RecordPage::saveFrame(const QString &path, QString *error) const
{
    return SaveFramePng(frameImage(), path, error);
}

bool RecordPage::saveReply(const QString &path, QString *error) const
{
    if (!m_record)
        return false;
    std::string reason;
    if (WriteFileAtomically(path.toStdString(), m_record->reply, &reason))
        return true;
    if (error)
        *error = QString::fromStdString(reason);
    return false;
}

bool RecordPage::saveRun(const QString &path, QString *error) const
{
    if (!m_record)
        return false;
    std::string reason;
    if (SaveCapture(path.toStdString(), *m_record, QCoreApplication::applicationVersion().toStdString(), &reason))
        return true;
    if (error)
        *error = QString::fromStdString(reason);
    return false;
}

void RecordPage::saveAs(const QString &what, const QString &filter, const QString &extension,
                        const QString &defaultSuffix, bool (RecordPage::*save)(const QString &, QString *) const)
{
    const QString lower = what.toLower();
    const QString path = AskSavePath(window(), QStringLiteral("Save %1 As").arg(what), filter,
                                     fileStem() + QStringLiteral("-%1.%2").arg(lower, extension), defaultSuffix);
    if (path.isEmpty())
        return;
    QString error;
    if ((this->*save)(path, &error))
        RememberSavedFile(path);
    else
        QMessageBox::warning(window(), QStringLiteral("Save %1").arg(what),
                             QStringLiteral("The %1 could not be saved to %2:\n%3").arg(lower, path, error));
}

void RecordPage::saveRunAs()
{
    if ((m_saveAllowed && !m_saveAllowed()) || !m_record)
        return;
    saveAs(QStringLiteral("Run"), QStringLiteral("camconsole captures (*.camrun)"), QStringLiteral("camrun"),
           QStringLiteral("camrun"), &RecordPage::saveRun);
}

void RecordPage::saveFrameAs()
{
    if ((m_saveAllowed && !m_saveAllowed()) || !m_pixels || m_pixels->empty())
        return;
    saveAs(QStringLiteral("Frame"), QStringLiteral("PNG images (*.png)"), QStringLiteral("png"), QStringLiteral("png"),
           &RecordPage::saveFrame);
}

void RecordPage::saveReplyAs()
{
    if ((m_saveAllowed && !m_saveAllowed()) || !m_record)
        return;
    saveAs(QStringLiteral("Reply"), QStringLiteral("All files (*)"), QStringLiteral("bin"), QString(),
           &RecordPage::saveReply);
}
