// The console's window driven end to end: real serial link and driver
// library, the simulated camera on a pseudo-terminal.
#include "console/form1.h"

#include "console/picture_box.h"
#include "console/wrapping_button.h"
#include "inspector/compare_page.h"
#include "inspector/frame_view.h"
#include "inspector/frames_window.h"
#include "inspector/hex_view.h"
#include "inspector/record_page.h"
#include "inspector/record_text.h"
#include "sim/camsim_faults.h"
#include "sim/camsim_reply.h"
#include "support/window_on_camsim.h"
#include "support/window_on_fakes.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

using Lines = std::vector<std::string>;

QRgb Rgb(const camsim::Rgb &c)
{
    return qRgb(c.r, c.g, c.b);
}

void ExpectFrameDrawn(const PictureBox &pic, camsim::Pattern pattern)
{
    for (int column : { 0, 1, 17, 40, 64 }) {
        for (int row : { 0, 1, 58, 116 }) {
            SCOPED_TRACE("column " + std::to_string(column) + " row " + std::to_string(row));
            const QRgb expected = Rgb(camsim::PatternPixel(pattern, column, row));
            EXPECT_EQ(pic.image().pixel(2 + 2 * column, row), expected);
            EXPECT_EQ(pic.image().pixel(3 + 2 * column, row), expected);
        }
    }
    // Column 65 shows only its left pixel; x 0 and 1 are never drawn.
    EXPECT_EQ(pic.image().pixel(132, 5), Rgb(camsim::PatternPixel(pattern, 65, 5)));
    EXPECT_EQ(pic.image().pixel(0, 5), pic.backgroundColor().rgb());
}

TEST(ConsoleCamsimTest, DirectDumpDrawsTheCamerasFrame)
{
    WindowOnCamsim w({ "--pattern", "checker" });

    w.form->df_nomral->click();

    EXPECT_EQ(Masked(LogLines(*w.form), kDirectDumpLog), kDirectDumpLog);
    ExpectFrameDrawn(*w.form->Pic, camsim::Pattern::Checker);
    EXPECT_FALSE(w.form->Com().portOpen());
    EXPECT_EQ(w.camera.receivedCommands(), Lines({ "", "DF" }));
    EXPECT_TRUE(w.errors.shown.empty());
}

TEST(ConsoleCamsimTest, DirectDumpWithASilentCameraTwiceInARow)
{
    WindowOnCamsim w({ "--fault", "silent" });
    const Lines expected = { "Starting DF Test using direct connection (RGB)",
                             "Opening Comport...",
                             "Ping....FAILED",
                             "Sending Command & Starting Frame Dump Timer...",
                             "Total Time To Get Frame:#",
                             "Error Dumping Frame",
                             "Time to Process Frame: 0" };
    for (int run = 0; run < 2; ++run) {
        w.form->df_nomral->click();
        EXPECT_EQ(Masked(LogLines(*w.form), expected), expected);
        EXPECT_FALSE(w.form->Com().portOpen());
    }
    EXPECT_EQ(w.form->Pic->image().pixel(10, 10), w.form->Pic->backgroundColor().rgb()) << "picture untouched";
}

TEST(ConsoleCamsimTest, LineModeDrawsTheBitmapInBlueAndBlack)
{
    WindowOnCamsim w({ "--fast" });

    w.form->df_bin->click();

    EXPECT_EQ(Masked(LogLines(*w.form), kLineModeLog), kLineModeLog);
    EXPECT_EQ(w.camera.receivedCommands(), Lines({ "PM 1", "LM 1", "TW" }));
    const QImage &image = w.form->Pic->image();
    for (int row : { 0, 1, 30, 57 }) {
        for (int x = 0; x < 80; ++x) {
            const QRgb expected = camsim::LineModePixel(x, row) ? qRgb(0, 0, 255) : qRgb(0, 0, 0);
            ASSERT_EQ(image.pixel(x, 2 * row), expected) << x << "," << row;
            ASSERT_EQ(image.pixel(x, 2 * row + 1), expected) << x << "," << row;
        }
    }
    EXPECT_EQ(image.pixel(100, 10), w.form->Pic->backgroundColor().rgb());
    EXPECT_FALSE(w.form->Com().portOpen());
}

TEST(ConsoleCamsimTest, LineModeStopsWhenPowerModeIsRefused)
{
    WindowOnCamsim w({ "--fast", "--fault", "PM=nck" });
    w.form->Pic->usePixelUnits();
    w.form->Pic->setPixel(5, 5, MakeColor(1, 2, 3));

    w.form->df_bin->click();

    EXPECT_EQ(LogLines(*w.form), Lines({ "Starting LineMode Test", "Error, please retry" }));
    EXPECT_EQ(w.camera.receivedCommands(), Lines({ "PM 1" }));
    EXPECT_EQ(w.form->Pic->image().pixel(5, 5), qRgb(1, 2, 3)) << "the picture is not cleared";
}

TEST(ConsoleCamsimTest, LineModeReplyWithoutAckDrawsNothing)
{
    WindowOnCamsim w({ "--fast", "--fault", "TW=nck" });
    w.form->df_bin->click();
    const Lines expected(kLineModeLog.begin(), kLineModeLog.end() - 1); // no drawing time
    EXPECT_EQ(Masked(LogLines(*w.form), expected), expected);
    EXPECT_EQ(w.form->Pic->image().pixel(0, 0), w.form->Pic->backgroundColor().rgb());
}

TEST(ConsoleCamsimTest, DriverLibraryDumpDrawsTheFrame)
{
    WindowOnCamsim w({ "--fast", "--pattern", "gradient" });

    w.form->df_dll->click();

    EXPECT_EQ(Masked(LogLines(*w.form), kDriverDumpLog), kDriverDumpLog);
    ExpectFrameDrawn(*w.form->Pic, camsim::Pattern::Gradient);
    EXPECT_EQ(w.camera.receivedCommands(), Lines({ "", "DF" }));
}

TEST(ConsoleCamsimTest, MissingDeviceAndMissingDriverLeaveTheConsoleUsable)
{
    WindowOnCamsim w({ "--fast" });

    setenv("CAMCONSOLE_PORT1", "/nonexistent/camconsole-port", 1);
    w.form->df_nomral->click();
    EXPECT_EQ(w.errors.shown.size(), 1u);
    EXPECT_EQ(LogLines(*w.form)[0].rfind("Serial port error: ", 0), 0u);
    EXPECT_FALSE(w.form->Com().portOpen());

    setenv("CAMCONSOLE_PORT1", w.camera.linkPath().c_str(), 1);
    w.form->df_bin->click();
    EXPECT_EQ(Masked(LogLines(*w.form), kLineModeLog), kLineModeLog) << "the next click works";

    setenv("CAMCONSOLE_DRIVER", "/nonexistent/libtarqis.so", 1);
    Form1 withoutDriver;
    withoutDriver.setErrorReporter(&w.errors);
    withoutDriver.df_dll->click();
    EXPECT_EQ(w.errors.shown.size(), 2u);
    EXPECT_EQ(LogLines(withoutDriver).back().rfind("Driver library error: ", 0), 0u);
    EXPECT_FALSE(withoutDriver.session().running());
}

TEST(ConsoleCamsimTest, FrameInspectorComparesTheDirectAndDriverDumpsAndSavesWhatCame)
{
    // Green and blue bytes of 1, 2, 3 and 170 in every column.
    WindowOnCamsim w({ "--fast", "--pattern", "markers" });
    auto &form = w.form;
    form->df_nomral->click();
    form->df_dll->click();

    const std::unique_ptr<QMenu> menu = form->Pic->makeContextMenu();
    ASSERT_TRUE(menu);
    menu->actions().at(2)->trigger(); // "Inspect Frames..."
    FramesWindow *frames = form->framesWindow();
    ASSERT_NE(frames, nullptr);
    EXPECT_TRUE(frames->isVisible());
    EXPECT_EQ(frames->windowTitle(), "camconsole: Frames");
    EXPECT_EQ(frames->comparePage()->difference().differing, 0u);
    EXPECT_EQ(frames->comparePage()->countText()->text(), "0 of 11,440 camera pixels differ");

    RecordPage *direct = frames->page(TestKind::Direct);
    ASSERT_TRUE(direct->record());
    ASSERT_NE(direct->walk(), nullptr);
    ASSERT_NE(frames->page(TestKind::Driver)->walk(), nullptr) << "the driver's run was not walked";
    EXPECT_EQ(direct->walk()->summary().frames.at(0).columns, 80u);
    EXPECT_EQ(frames->page(TestKind::Driver)->walk()->summary().frames.at(0).maxRows, 143u);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(direct->saveReply(dir.filePath("reply")));
    QFile reply(dir.filePath("reply"));
    ASSERT_TRUE(reply.open(QIODevice::ReadOnly));
    EXPECT_TRUE(reply.readAll().toStdString() == camsim::DumpReply(camsim::Pattern::Markers));

    ASSERT_TRUE(direct->saveFrame(dir.filePath("frame.png")));
    const QImage saved(dir.filePath("frame.png"));
    ASSERT_EQ(saved.size(), QSize(162, 143));
    for (int y = 0; y < 143; ++y) {
        ASSERT_EQ(qAlpha(saved.pixel(0, y)), 0) << y;
        ASSERT_EQ(qAlpha(saved.pixel(1, y)), 0) << y;
    }
    for (const auto &[column, row] : { std::pair { 0, 0 }, std::pair { 79, 142 }, std::pair { 65, 120 } }) {
        EXPECT_EQ(saved.pixel(2 + 2 * column, row), Rgb(camsim::PatternPixel(camsim::Pattern::Markers, column, row)));
        EXPECT_EQ(saved.pixel(3 + 2 * column, row), Rgb(camsim::PatternPixel(camsim::Pattern::Markers, column, row)));
    }

    // A pixel selects its bytes ("ACK\r", frame start, column start, then
    // the first pixel's red, green, blue), and a byte its pixel.
    direct->selectPixel(3, 0);
    EXPECT_EQ(direct->hexView()->selectionFirst(), 6u);
    EXPECT_EQ(direct->hexView()->selectionCount(), 3u);
    direct->selectByte(6 + 430 + 2); // blue of column 1's first pixel
    EXPECT_EQ(direct->frameView()->marks(), std::vector<QRect> { QRect(4, 0, 2, 1) });
    EXPECT_EQ(direct->hexView()->selectionFirst(), 6u + 430u);
}

TEST(ConsoleCamsimTest, FrameInspectorCountsEachFlippedCameraPixelTwice)
{
    // Only the first dump, the direct one, comes with the flipped pixels.
    WindowOnCamsim w({ "--fast", "--fault", "DF=flip", "--fault-times", "1" });
    w.form->df_nomral->click();
    w.form->df_dll->click();
    w.form->inspectFrames();
    const ComparePage *compare = w.form->framesWindow()->comparePage();
    EXPECT_EQ(compare->difference().differing, 2 * camsim::kFlipPixels.size());
    EXPECT_EQ(compare->difference().compared, 2u * 80u * 143u);
    EXPECT_EQ(compare->differenceView()->frame().pixel(3, 142), qRgb(255, 0, 0)) << "camera pixel (0, 142)";

    // Counted over camera pixels, and listed to step through.
    EXPECT_EQ(compare->countText()->text(), "7 of 11,440 camera pixels differ (14 surface pixels)");
    const auto &listed = compare->cameraDifference().listed;
    ASSERT_EQ(listed.size(), camsim::kFlipPixels.size());
    for (const CameraPixelDifference &d : listed) {
        SCOPED_TRACE("column " + std::to_string(d.column) + " row " + std::to_string(d.row));
        EXPECT_TRUE(std::any_of(camsim::kFlipPixels.begin(), camsim::kFlipPixels.end(),
                                [&](const camsim::CameraPixel &p) { return p.column == d.column && p.row == d.row; }));
        const camsim::Rgb flipped = camsim::FlipPixel(camsim::Pattern::Bars, d.column, d.row);
        const camsim::Rgb healthy = camsim::PatternPixel(camsim::Pattern::Bars, d.column, d.row);
        EXPECT_EQ(d.inFirst, MakeColor(flipped.r, flipped.g, flipped.b));
        EXPECT_EQ(d.inSecond, MakeColor(healthy.r, healthy.g, healthy.b));
    }
    EXPECT_EQ(compare->differenceList()->count(), 7);
    EXPECT_EQ(compare->differenceView()->rings().size(), 7u);
    ComparePage *page = w.form->framesWindow()->comparePage();
    page->nextDifference();
    page->nextDifference();
    EXPECT_EQ(page->currentDifference(), 1);
    EXPECT_EQ(page->directView()->marks(), std::vector<QRect> { QRect(2 + 2 * listed[1].column, listed[1].row, 2, 1) });
    page->previousDifference();
    EXPECT_EQ(page->currentDifference(), 0);
    EXPECT_EQ(page->differenceView()->marks(), std::vector<QRect> { QRect(2, 0, 2, 1) });
    EXPECT_EQ(w.form->framesWindow()->tabs()->currentWidget(), w.form->framesWindow()->page(TestKind::Driver))
        << "the inspector opens on the page of the test that ran last";

    // The direct run saved as a capture and opened beside the live pages
    // shows the same run; compared with the driver's frame saved as a PNG,
    // it counts and steps through the same 7 camera pixels.
    FramesWindow *frames = w.form->framesWindow();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString capture = dir.filePath(QStringLiteral("direct.camrun"));
    const QString golden = dir.filePath(QStringLiteral("golden.png"));
    ASSERT_TRUE(frames->page(TestKind::Direct)->saveRun(capture));
    ASSERT_TRUE(frames->page(TestKind::Driver)->saveFrame(golden));
    QString error;
    ASSERT_TRUE(frames->openCapture(capture, &error)) << error.toStdString();
    ASSERT_EQ(frames->capturePages().size(), 1u);
    RecordPage *opened = frames->capturePages().front();
    EXPECT_EQ(frames->tabs()->currentWidget(), opened);
    EXPECT_EQ(frames->tabs()->indexOf(frames->comparePage()), 3) << "the live pages stay first";
    EXPECT_EQ(opened->pixels()->pixels(), frames->page(TestKind::Direct)->pixels()->pixels());
    EXPECT_EQ(opened->summaryText()->toPlainText(), frames->page(TestKind::Direct)->summaryText()->toPlainText());
    ASSERT_TRUE(frames->compareWithFile(opened, golden, &error)) << error.toStdString();
    ComparePage *withFile = frames->fileComparePage();
    EXPECT_EQ(frames->tabs()->currentWidget(), withFile);
    EXPECT_EQ(withFile->countText()->text(), "7 of 11,440 camera pixels differ (14 surface pixels)");
    withFile->nextDifference();
    withFile->nextDifference();
    EXPECT_EQ(withFile->directView()->marks(),
              std::vector<QRect> { QRect(2 + 2 * listed[1].column, listed[1].row, 2, 1) });
    // A second capture brings the page comparing two captures.
    ASSERT_TRUE(frames->openCapture(capture, &error));
    ASSERT_NE(frames->captureComparePage(), nullptr);
    EXPECT_EQ(frames->captureComparePage()->countText()->text(), "0 of 11,440 camera pixels differ");
    QFile cut(dir.filePath(QStringLiteral("cut.camrun")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    QFile whole(capture);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    cut.write(whole.read(1000));
    cut.close();
    EXPECT_FALSE(frames->openCapture(cut.fileName(), &error));
    EXPECT_EQ(error, "it is damaged: section \"RPLY\" runs past the end of the file");
}

TEST(ConsoleCamsimTest, FrameInspectorShowsADumpCutByALinkErrorThatTheWindowDoesNotDraw)
{
    WindowOnCamsim w({ "--fault", "DF=hangup" });
    const QImage before = w.form->Pic->image();
    w.form->df_nomral->click();
    EXPECT_EQ(w.form->Pic->image(), before) << "the window draws nothing";
    w.form->inspectFrames();
    const RecordPage *page = w.form->framesWindow()->page(TestKind::Direct);
    ASSERT_TRUE(page->record());
    EXPECT_FALSE(page->record()->decoded);
    EXPECT_EQ(page->record()->receptionEnd, ReceptionEnd::LinkError);
    ASSERT_NE(page->walk(), nullptr);
    EXPECT_GT(page->walk()->summary().pixels, 0u);
    EXPECT_EQ(page->pixels()->size(), 2 * page->walk()->summary().pixels);
    const QString summary = page->summaryText()->toPlainText();
    EXPECT_TRUE(
        summary.startsWith(QStringLiteral("Link error after %1 bytes (").arg(CountText(page->record()->reply.size()))))
        << summary.toStdString();
    EXPECT_TRUE(page->receptionFigures()->text().contains(QStringLiteral("Ended: link error (")));
}

TEST(ConsoleCamsimTest, ClosingDuringADumpEndsTheTestThenTheWindow)
{
    WindowOnCamsim w; // real pace: the reply takes about 3 s
    // Closes the window as soon as the camera got "DF", while the console
    // receives the reply.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (w.camera.receivedCommands().size() == 2) {
            closer.stop();
            w.form->close();
        }
    });
    closer.start(5);

    w.form->df_nomral->click();

    // The test ended at its next event-processing point, inside the reception.
    EXPECT_FALSE(closer.isActive()) << "the window was closed during the test";
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_FALSE(w.form->Com().portOpen());
    EXPECT_FALSE(w.form->session().running());
    EXPECT_EQ(LogLines(*w.form).back(), "Sending Command & Starting Frame Dump Timer...");
}

} // namespace
