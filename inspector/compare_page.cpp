#include "inspector/compare_page.h"

#include "image/frame_image.h"
#include "inspector/frame_view.h"
#include "inspector/record_page.h"
#include "inspector/record_text.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QRgb kColorsDiffer = qRgb(255, 0, 0);
const QRgb kDirectOnly = qRgb(255, 220, 0);
const QRgb kDriverOnly = qRgb(0, 220, 255);

// A color faded towards mid gray, for pixels that match.
QRgb Dimmed(ColorValue color)
{
    const auto fade = [](unsigned c) { return static_cast<int>(96 + c * 3 / 8); };
    return qRgb(fade(RedOf(color)), fade(GreenOf(color)), fade(BlueOf(color)));
}

QLabel *Caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

QImage ComparePage::DifferenceImage(const DrawnPixels &direct, const DrawnPixels &driver)
{
    const auto width
        = static_cast<int>(std::min<std::int64_t>(std::max(direct.width(), driver.width()), kFrameImageLimit));
    const auto height
        = static_cast<int>(std::min<std::int64_t>(std::max(direct.height(), driver.height()), kFrameImageLimit));
    if (width == 0 || height == 0)
        return {};
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    ForEachDrawnInEither(direct, driver, [&](std::int32_t x, std::int32_t y, const ColorValue *a, const ColorValue *b) {
        if (x >= width || y >= height)
            return;
        QRgb shown = kColorsDiffer;
        if (!b)
            shown = kDirectOnly;
        else if (!a)
            shown = kDriverOnly;
        else if (*a == *b)
            shown = Dimmed(*a);
        reinterpret_cast<QRgb *>(image.scanLine(y))[x] = shown;
    });
    return image;
}

ComparePage::ComparePage(QWidget *parent) : QWidget(parent)
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
                                    "drawn by the direct dump only &nbsp; "
                                    "<span style='background:#00dcff'>&nbsp;&nbsp;&nbsp;</span> "
                                    "drawn by the driver dump only &nbsp; dimmed: the same"),
                     content);
    tools->addWidget(legend);
    m_cutNotice = new QLabel(content);
    tools->addWidget(m_cutNotice, 1);
    layout->addLayout(tools);

    auto *split = new QSplitter(Qt::Horizontal, content);
    const QString captions[3]
        = { QStringLiteral("DF --> Normal (RGB)"), QStringLiteral("DF --> DLL (RGB)"), QStringLiteral("Difference") };
    for (int i = 0; i < 3; ++i) {
        auto *pane = new QWidget(split);
        auto *paneLayout = new QVBoxLayout(pane);
        paneLayout->setContentsMargins(0, 0, 0, 0);
        paneLayout->addWidget(Caption(captions[i], pane));
        m_views[i] = new FrameView(pane);
        paneLayout->addWidget(m_views[i], 1);
        split->addWidget(pane);
    }
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
    showRecords(nullptr, nullptr);
}

void ComparePage::showRecords(std::shared_ptr<const FrameRecord> direct, std::shared_ptr<const FrameRecord> driver)
{
    if (direct == m_direct && driver == m_driver && (direct || driver))
        return;
    m_direct = std::move(direct);
    m_driver = std::move(driver);
    m_difference = {};
    if (!m_direct || !m_driver) {
        for (FrameView *view : m_views)
            view->setFrame({});
        m_missing->setText(
            QStringLiteral("Run both DF --> Normal (RGB) and DF --> DLL (RGB) to compare their frames."));
        m_stack->setCurrentIndex(0);
        return;
    }
    m_difference = CompareFrames(m_direct->pixels, m_driver->pixels);
    m_heading->setText(RecordHeading(*m_direct) + QStringLiteral("\n") + RecordHeading(*m_driver));
    m_count->setText(QStringLiteral("%1 of %2 pixels differ")
                         .arg(CountText(m_difference.differing), CountText(m_difference.compared)));
    const FrameImage directImage = RenderFrame(m_direct->pixels);
    const FrameImage driverImage = RenderFrame(m_driver->pixels);
    m_views[0]->setFrame(directImage.image);
    m_views[1]->setFrame(driverImage.image);
    m_views[2]->setFrame(DifferenceImage(m_direct->pixels, m_driver->pixels));
    const bool cut = directImage.cut() || driverImage.cut();
    m_cutNotice->setText(cut ? QStringLiteral("The views show at most %1 x %1 surface pixels; the count covers all.")
                                   .arg(CountText(kFrameImageLimit))
                             : QString());
    m_stack->setCurrentIndex(1);
}

void ComparePage::showHover(int x, int y)
{
    if (x < 0 || !m_direct || !m_driver) {
        m_readout->setText(QStringLiteral(" "));
        return;
    }
    const auto describe = [](const std::optional<ColorValue> &color) {
        return color ? ColorText(*color) : QStringLiteral("not drawn");
    };
    const std::optional<ColorValue> a = m_direct->pixels.at(x, y);
    const std::optional<ColorValue> b = m_driver->pixels.at(x, y);
    m_readout->setText(QStringLiteral("x %1, y %2  \u00b7  direct: %3  \u00b7  driver: %4%5")
                           .arg(x)
                           .arg(y)
                           .arg(describe(a), describe(b), a == b ? QString() : QStringLiteral("  \u00b7  differ")));
}
