#include "inspector/compare_page.h"

#include "image/frame_image.h"
#include "inspector/frame_source.h"
#include "inspector/frame_view.h"
#include "inspector/record_page.h"
#include "inspector/record_text.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel *Caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QString ColorOrNone(const std::optional<ColorValue> &color)
{
    return color ? ColorText(*color) : QStringLiteral("not drawn");
}

// The two surface pixels of a listed camera pixel.
QRect SurfaceRect(const CameraPixelDifference &d)
{
    return { d.x, d.y, 2, 1 };
}

QString Where(const CameraPixelDifference &d)
{
    return d.column < 0 ? QStringLiteral("before the first column, row %1").arg(d.row)
                        : QStringLiteral("column %1, row %2").arg(d.column).arg(d.row);
}

// "column 0, row 0: #0F0F0F / #EFEFEF": short enough for the list.
QString DifferenceText(const CameraPixelDifference &d)
{
    const auto hex = [](const std::optional<ColorValue> &color) {
        if (!color)
            return QStringLiteral("none");
        const unsigned rgb = RedOf(*color) << 16 | GreenOf(*color) << 8 | BlueOf(*color);
        return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper();
    };
    return QStringLiteral("%1: %2 / %3").arg(Where(d), hex(d.inFirst), hex(d.inSecond));
}

} // namespace

ComparePage::Sides ComparePage::DirectAndDriver()
{
    return { QStringLiteral("DF --> Normal (RGB)"),
             QStringLiteral("DF --> DLL (RGB)"),
             QStringLiteral("the direct dump"),
             QStringLiteral("the driver dump"),
             QStringLiteral("direct"),
             QStringLiteral("driver"),
             QStringLiteral("Run both DF --> Normal (RGB) and DF --> DLL (RGB) to compare their frames.") };
}

ComparePage::ComparePage(QWidget *parent) : ComparePage(DirectAndDriver(), parent)
{
}

ComparePage::ComparePage(const Sides &sides, QWidget *parent) : QWidget(parent), m_sides(sides)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    outer->addWidget(m_stack);
    m_missing = new QLabel(m_stack);
    m_missing->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(m_missing);

    auto *content = new QWidget(m_stack);
    auto *layout = new QVBoxLayout(content);
    m_heading = new QLabel(content);
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_heading);
    m_count = new QLabel(content);
    QFont big = m_count->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    m_count->setFont(big);
    layout->addWidget(m_count);

    auto *tools = new QHBoxLayout;
    tools->addWidget(new QLabel(QStringLiteral("Zoom:"), content));
    m_zoom = MakeZoomChooser(content);
    tools->addWidget(m_zoom);
    auto *legend
        = new QLabel(QStringLiteral("Difference: <span style='background:#ff0000'>&nbsp;&nbsp;&nbsp;</span> "
                                    "other colors &nbsp; <span style='background:#ffdc00'>&nbsp;&nbsp;&nbsp;</span> "
                                    "drawn by %1 only &nbsp; "
                                    "<span style='background:#00dcff'>&nbsp;&nbsp;&nbsp;</span> "
                                    "drawn by %2 only &nbsp; dimmed: the same")
                         .arg(m_sides.firstName.toHtmlEscaped(), m_sides.secondName.toHtmlEscaped()),
                     content);
    tools->addWidget(legend);
    m_previous = new QPushButton(QStringLiteral("< Previous"), content);
    m_next = new QPushButton(QStringLiteral("Next >"), content);
    m_position = new QLabel(content);
    tools->addWidget(m_previous);
    tools->addWidget(m_next);
    tools->addWidget(m_position);
    m_cutNotice = new QLabel(content);
    tools->addWidget(m_cutNotice, 1);
    layout->addLayout(tools);

    auto *split = new QSplitter(Qt::Horizontal, content);
    const QString captions[3] = { m_sides.firstCaption, m_sides.secondCaption, QStringLiteral("Difference") };
    for (int i = 0; i < 3; ++i) {
        auto *pane = new QWidget(split);
        auto *paneLayout = new QVBoxLayout(pane);
        paneLayout->setContentsMargins(0, 0, 0, 0);
        QLabel *caption = Caption(captions[i], pane);
        if (i < 2)
            m_captions[i] = caption;
        paneLayout->addWidget(caption);
        m_views[i] = new FrameView(pane);
        paneLayout->addWidget(m_views[i], 1);
        split->addWidget(pane);
    }
    auto *listPane = new QWidget(split);
    auto *listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(Caption(
        QStringLiteral("Differing camera pixels (%1 / %2)").arg(m_sides.firstWord, m_sides.secondWord), listPane));
    m_list = new QListWidget(listPane);
    listLayout->addWidget(m_list, 1);
    split->addWidget(listPane);
    split->setStretchFactor(3, 0);
    layout->addWidget(split, 1);
    m_readout = new QLabel(QStringLiteral(" "), content);
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_readout->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_readout);
    m_stack->addWidget(content);

    // One zoom and one scroll position for all three.
    for (FrameView *view : m_views) {
        ConnectZoom(m_zoom, view);
        connect(view, &FrameView::hovered, this, &ComparePage::showHover);
        for (FrameView *other : m_views) {
            if (other == view)
                continue;
            connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, other->horizontalScrollBar(),
                    &QScrollBar::setValue);
            connect(view->verticalScrollBar(), &QScrollBar::valueChanged, other->verticalScrollBar(),
                    &QScrollBar::setValue);
        }
    }
    connect(m_list, &QListWidget::currentRowChanged, this, &ComparePage::showDifference);
    connect(m_next, &QPushButton::clicked, this, &ComparePage::nextDifference);
    connect(m_previous, &QPushButton::clicked, this, &ComparePage::previousDifference);
    showRecords(nullptr, nullptr);
}

void ComparePage::showRecords(std::shared_ptr<const FrameRecord> direct, std::shared_ptr<const FrameRecord> driver)
{
    if (direct == m_direct && driver == m_driver && (direct || driver))
        return;
    m_direct = std::move(direct);
    m_driver = std::move(driver);
    if (!m_direct || !m_driver) {
        showMissing();
        return;
    }
    // The views draw from the records' pixels as they paint.
    showFrames(RecordHeading(*m_direct) + QStringLiteral("\n") + RecordHeading(*m_driver),
               std::shared_ptr<const DrawnPixels>(m_direct, &m_direct->pixels),
               std::shared_ptr<const DrawnPixels>(m_driver, &m_driver->pixels), CameraPixelShape::TwoWide);
}

void ComparePage::showMissing()
{
    m_difference = {};
    m_first.reset();
    m_second.reset();
    for (FrameView *view : m_views)
        view->setSource(nullptr);
    m_missing->setText(m_sides.missing);
    m_stack->setCurrentIndex(0);
}

void ComparePage::showFrames(const QString &heading, std::shared_ptr<const DrawnPixels> first,
                             std::shared_ptr<const DrawnPixels> second, CameraPixelShape shape,
                             const QString &firstCaption, const QString &secondCaption)
{
    if (!first || !second) {
        showMissing();
        return;
    }
    if (!firstCaption.isEmpty())
        m_captions[0]->setText(firstCaption);
    if (!secondCaption.isEmpty())
        m_captions[1]->setText(secondCaption);
    m_first = std::move(first);
    m_second = std::move(second);
    m_shape = shape;
    m_difference = CompareFrames(*m_first, *m_second, shape, 0, kListedDifferences);
    m_heading->setText(heading);
    QString count = QStringLiteral("%1 of %2 camera pixels differ")
                        .arg(CountText(m_difference.camera.differing), CountText(m_difference.camera.compared));
    if (m_difference.surface.differing != m_difference.camera.differing)
        count += QStringLiteral(" (%1 surface pixels)").arg(CountText(m_difference.surface.differing));
    m_count->setText(count);

    const std::shared_ptr<const DrawnPixels> &directPixels = m_first;
    const std::shared_ptr<const DrawnPixels> &driverPixels = m_second;
    const auto sourceOf = [](const std::shared_ptr<const DrawnPixels> &pixels) -> std::shared_ptr<const FrameSource> {
        return pixels->empty() ? nullptr : std::make_shared<DrawnPixelsSource>(pixels);
    };
    m_views[0]->setSource(sourceOf(directPixels));
    m_views[1]->setSource(sourceOf(driverPixels));
    m_views[2]->setSource(directPixels->empty() && driverPixels->empty()
                              ? nullptr
                              : std::make_shared<DifferenceSource>(directPixels, driverPixels));
    const auto cut = [](const DrawnPixels &p) { return p.width() > kFrameImageLimit || p.height() > kFrameImageLimit; };
    m_cutNotice->setText(cut(*directPixels) || cut(*driverPixels)
                             ? QStringLiteral("The views show at most %1 x %1 surface pixels; the count covers all.")
                                   .arg(CountText(kFrameImageLimit))
                             : QString());

    std::vector<QRect> rings;
    m_list->blockSignals(true);
    m_list->clear();
    for (const CameraPixelDifference &d : m_difference.listed) {
        m_list->addItem(DifferenceText(d));
        m_list->item(m_list->count() - 1)
            ->setToolTip(QStringLiteral("%1\n%2: %3\n%4: %5")
                             .arg(Where(d), m_sides.firstWord, ColorOrNone(d.inFirst), m_sides.secondWord,
                                  ColorOrNone(d.inSecond)));
        rings.push_back(SurfaceRect(d));
    }
    if (m_difference.camera.differing > m_difference.listed.size())
        m_list->addItem(QStringLiteral("... and %1 more")
                            .arg(CountText(m_difference.camera.differing - m_difference.listed.size())));
    m_list->blockSignals(false);
    m_views[2]->setRings(std::move(rings));
    m_position->setText(m_difference.listed.empty() ? QStringLiteral("No differences.") : QString());
    m_previous->setEnabled(false);
    m_next->setEnabled(!m_difference.listed.empty());
    m_stack->setCurrentIndex(1);
}

int ComparePage::currentDifference() const
{
    const int row = m_list->currentRow();
    return row >= 0 && static_cast<std::size_t>(row) < m_difference.listed.size() ? row : -1;
}

void ComparePage::showDifference(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_difference.listed.size())
        return;
    if (m_list->currentRow() != index) {
        m_list->setCurrentRow(index); // comes back here through the list's signal
        return;
    }
    const CameraPixelDifference &d = m_difference.listed[static_cast<std::size_t>(index)];
    for (FrameView *view : m_views) {
        view->setMarks({ SurfaceRect(d) });
        view->centreOn(SurfaceRect(d));
    }
    m_position->setText(
        QStringLiteral("%1 of %2")
            .arg(CountText(static_cast<std::uint64_t>(index) + 1), CountText(m_difference.listed.size())));
    m_previous->setEnabled(index > 0);
    m_next->setEnabled(static_cast<std::size_t>(index) + 1 < m_difference.listed.size());
}

void ComparePage::nextDifference()
{
    showDifference(currentDifference() + 1);
}

void ComparePage::previousDifference()
{
    showDifference(std::max(0, currentDifference() - 1));
}

void ComparePage::showHover(int x, int y)
{
    if (x < 0 || !m_first || !m_second) {
        m_readout->setText(QStringLiteral(" "));
        return;
    }
    const std::optional<ColorValue> a = m_first->at(x, y);
    const std::optional<ColorValue> b = m_second->at(x, y);
    const CameraPixel camera = CameraPixelAt(x, y, m_shape);
    m_readout->setText(QStringLiteral("x %1, y %2  \u00b7  camera column %3, row %4  \u00b7  %5: %6  \u00b7  %7: %8%9")
                           .arg(x)
                           .arg(y)
                           .arg(camera.column)
                           .arg(camera.row)
                           .arg(m_sides.firstWord, ColorOrNone(a), m_sides.secondWord, ColorOrNone(b),
                                a == b ? QString() : QStringLiteral("  \u00b7  differ")));
}
