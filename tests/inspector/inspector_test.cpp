#include "console/form1.h"
#include "console/wrapping_button.h"
#include "inspector/compare_page.h"
#include "inspector/frame_view.h"
#include "inspector/frames_window.h"
#include "inspector/record_page.h"
#include "support/qt_app.h"
#include "support/window_on_fakes.h"

#include <QTabWidget>

#include <algorithm>

#include <malloc.h>

#include <gtest/gtest.h>

namespace {

// The frame inspector of a window whose tests run on fakes.
class InspectorTest : public ::testing::Test, protected WindowOnFakes {
protected:
    void SetUp() override { form->show(); }
};

TEST_F(InspectorTest, InspectorShowsARunOnlyOnceItHasEnded)
{
    driver->dumpBytes = "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 3 });
    form->df_dll->click();
    form->inspectFrames();
    RecordPage *page = form->framesWindow()->page(TestKind::Driver);
    const FrameRecord *first = page->record();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pixels.at(2, 0), MakeColor(10, 20, 30));

    const FrameRecord *shownDuringTest = nullptr;
    driver->duringDump = [&] {
        shownDuringTest = page->record();
        // No save, Open... or Compare with File... opens a dialog now (one
        // would block here until closed).
        page->saveFrameAs();
        page->saveReplyAs();
        page->saveRunAs();
        form->framesWindow()->openCapturesAsked();
        emit page->compareWithFileRequested();
    };
    form->df_dll->click();
    EXPECT_EQ(shownDuringTest, first);
    EXPECT_NE(page->record(), first);
    EXPECT_EQ(page->record()->driverCallMs.has_value(), true);

    // Open, the inspector turns to the page of each test that ends.
    QTabWidget *tabs = form->framesWindow()->tabs();
    EXPECT_EQ(tabs->currentWidget(), page);
    tabs->setCurrentIndex(tabs->count() - 1); // Compare
    form->df_nomral->click();
    EXPECT_EQ(tabs->currentWidget(), form->framesWindow()->page(TestKind::Direct));
}

// The difference view paints each kind of pixel in its legend's color:
// drawn by the direct dump only #ffdc00, by the driver dump only #00dcff.
TEST_F(InspectorTest, CompareColorsFollowTheLegend)
{
    com->answerNext("ACK\r:");
    com->answerNext("ACK\r" + Bytes({ 1, 2, 10, 20, 30, 40, 50, 60, 3 })); // column 0, rows 0 and 1
    form->df_nomral->click();
    driver->dumpBytes = "ACK\r" + Bytes({ 1, 2, 10, 20, 30, 2, 70, 80, 90, 3 }); // columns 0 and 1, row 0
    form->df_dll->click();
    form->inspectFrames();
    const QImage difference = form->framesWindow()->comparePage()->differenceView()->frame();
    EXPECT_EQ(difference.pixel(2, 1), qRgb(0xff, 0xdc, 0x00)) << "direct only";
    EXPECT_EQ(difference.pixel(4, 0), qRgb(0x00, 0xdc, 0xff)) << "driver only";
    EXPECT_NE(difference.pixel(2, 0), qRgb(255, 0, 0)) << "the same in both";
}

// A hostile reply of about 14 KB (a frame start, 2,048 column starts and one
// column of 4,096 pixels) draws a 4,098 x 4,096 frame. With such frames from
// the direct and the driver test and a bitmap, every page of the inspector
// shown in turn, it holds no image of a whole frame: well under 128 MiB
// (images of such frames are 64 MiB each).
TEST_F(InspectorTest, InspectorMemoryStaysBoundedWhateverTheReply)
{
    std::string hostile = "ACK\r" + Bytes({ 1 }) + std::string(2048, '\x02');
    for (int i = 0; i < 4096; ++i)
        hostile += "\x10\x20\x30";
    hostile += Bytes({ 3 });
    com->answerNext("ACK\r:");
    com->answerNext(hostile);
    form->df_nomral->click();
    driver->dumpBytes = hostile;
    form->df_dll->click();
    com->answerNext("ACK\r:");
    com->answerNext("ACK\r:");
    com->answerNext("ACK\r" + Bytes({ 170 }) + std::string(12000, '\x55') + Bytes({ 170, 170 }));
    form->df_bin->click();

    const auto allocated = [] {
        const struct mallinfo2 now = mallinfo2();
        return now.uordblks + now.hblkhd;
    };
    const std::size_t before = allocated();
    std::size_t peak = before;
    form->inspectFrames();
    FramesWindow *frames = form->framesWindow();
    ASSERT_EQ(frames->page(TestKind::Direct)->pixels()->width(), 4098);
    ASSERT_EQ(frames->page(TestKind::Driver)->pixels()->height(), 4096);
    for (int tab = 0; tab < frames->tabs()->count(); ++tab) {
        frames->tabs()->setCurrentIndex(tab);
        for (FrameView *view : frames->findChildren<FrameView *>()) {
            if (!view->isVisible())
                continue;
            for (int zoom : { FrameView::kFit, 1, 16 }) {
                view->setZoom(zoom);
                (void)frames->grab();
                peak = std::max(peak, allocated());
            }
        }
    }
    const std::size_t peakMiB = (peak - before) >> 20;
    RecordProperty("inspector_peak_MiB", static_cast<int>(peakMiB));
    EXPECT_LT(peakMiB, 128u);
}

} // namespace
