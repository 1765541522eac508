// The console's window driven end to end: real serial link and driver
// library, the simulated camera on a pseudo-terminal.
#include "console/form1.h"

#include "console/picture_box.h"
#include "console/status_box.h"
#include "console/wrapping_button.h"
#include "inspector/compare_page.h"
#include "inspector/frame_view.h"
#include "inspector/frames_window.h"
#include "inspector/hex_view.h"
#include "inspector/record_page.h"
#include "sim/camsim_reply.h"
#include "support/camsim_process.h"
#include "support/qt_app.h"
#include "support/window_on_fakes.h"

#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using Lines = std::vector<std::string>;

// Drops the number after a timing label, which depends on the machine.
std::string Label(const std::string &line)
{
    const auto end = line.find_last_not_of("-0123456789");
    return line.substr(0, end + 1);
}

Lines Labels(const Lines &lines)
{
    Lines result;
    for (const auto &line : lines)
        result.push_back(Label(line));
    return result;
}

QRgb Rgb(const camsim::Rgb &c)
{
    return qRgb(c.r, c.g, c.b);
}

class ConsoleCamsimTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureQtApp(); }
    void TearDown() override
    {
        unsetenv("CAMCONSOLE_PORT1");
        unsetenv("CAMCONSOLE_DRIVER");
    }

    std::unique_ptr<Form1> openConsole(const CamsimProcess &camera)
    {
        setenv("CAMCONSOLE_PORT1", camera.linkPath().c_str(), 1);
        setenv("CAMCONSOLE_DRIVER", TARQIS_LIBRARY, 1);
        auto form = std::make_unique<Form1>();
        form->setErrorReporter(&errors);
        form->show();
        return form;
    }

    FakeErrorReporter errors;
};

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

TEST_F(ConsoleCamsimTest, DirectDumpDrawsTheCamerasFrame)
{
    CamsimProcess camera({ "--pattern", "checker" });
    auto form = openConsole(camera);

    form->df_nomral->click();

    EXPECT_EQ(Labels(LogLines(*form)),
              Lines({ "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....OK",
                      "Sending Command & Starting Frame Dump Timer...", "Total Time To Get Frame:", "Dumping Frame...",
                      "Time to Process Frame: " }));
    ExpectFrameDrawn(*form->Pic, camsim::Pattern::Checker);
    EXPECT_FALSE(form->Com().portOpen());
    EXPECT_EQ(camera.receivedCommands(), Lines({ "", "DF" }));
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(ConsoleCamsimTest, DirectDumpWithASilentCameraTwiceInARow)
{
    CamsimProcess camera({ "--fault", "silent" });
    auto form = openConsole(camera);
    for (int run = 0; run < 2; ++run) {
        form->df_nomral->click();
        EXPECT_EQ(LogLines(*form),
                  Lines({ "Starting DF Test using direct connection (RGB)", "Opening Comport...", "Ping....FAILED",
                          "Sending Command & Starting Frame Dump Timer...", LogLines(*form)[4], "Error Dumping Frame",
                          "Time to Process Frame: 0" }));
        EXPECT_FALSE(form->Com().portOpen());
    }
    const int receptionMs = std::stoi(LogLines(*form)[4].substr(24));
    EXPECT_GE(receptionMs, 50);
    EXPECT_EQ(form->Pic->image().pixel(10, 10), form->Pic->backgroundColor().rgb()) << "picture untouched";
}

TEST_F(ConsoleCamsimTest, LineModeDrawsTheBitmapInBlueAndBlack)
{
    CamsimProcess camera({ "--fast" });
    auto form = openConsole(camera);

    form->df_bin->click();

    EXPECT_EQ(Labels(LogLines(*form)),
              Lines({ "Starting LineMode Test", "Starting Timer", "Stopping Timer",
                      "Total time to get frame: ", "Time to display frame: " }));
    EXPECT_EQ(camera.receivedCommands(), Lines({ "PM 1", "LM 1", "TW" }));
    const QImage &image = form->Pic->image();
    for (int row : { 0, 1, 30, 57 }) {
        for (int x = 0; x < 80; ++x) {
            const QRgb expected = camsim::LineModePixel(x, row) ? qRgb(0, 0, 255) : qRgb(0, 0, 0);
            ASSERT_EQ(image.pixel(x, 2 * row), expected) << x << "," << row;
            ASSERT_EQ(image.pixel(x, 2 * row + 1), expected) << x << "," << row;
        }
    }
    EXPECT_EQ(image.pixel(100, 10), form->Pic->backgroundColor().rgb());
    EXPECT_FALSE(form->Com().portOpen());
}

TEST_F(ConsoleCamsimTest, LineModeStopsWhenPowerModeIsRefused)
{
    CamsimProcess camera({ "--fast", "--fault", "PM=nck" });
    auto form = openConsole(camera);
    form->Pic->usePixelUnits();
    form->Pic->setPixel(5, 5, MakeColor(1, 2, 3));

    form->df_bin->click();

    EXPECT_EQ(LogLines(*form), Lines({ "Starting LineMode Test", "Error, please retry" }));
    EXPECT_EQ(camera.receivedCommands(), Lines({ "PM 1" }));
    EXPECT_EQ(form->Pic->image().pixel(5, 5), qRgb(1, 2, 3)) << "the picture is not cleared";
}

TEST_F(ConsoleCamsimTest, LineModeReplyWithoutAckDrawsNothing)
{
    CamsimProcess camera({ "--fast", "--fault", "TW=nck" });
    auto form = openConsole(camera);
    form->df_bin->click();
    EXPECT_EQ(Labels(LogLines(*form)),
              Lines({ "Starting LineMode Test", "Starting Timer", "Stopping Timer", "Total time to get frame: " }));
    EXPECT_EQ(form->Pic->image().pixel(0, 0), form->Pic->backgroundColor().rgb());
}

TEST_F(ConsoleCamsimTest, DriverLibraryDumpDrawsTheFrame)
{
    CamsimProcess camera({ "--fast", "--pattern", "gradient" });
    auto form = openConsole(camera);

    form->df_dll->click();

    EXPECT_EQ(Labels(LogLines(*form)),
              Lines({ "Starting DLL Test (RGB)", "Connecting to COM device", "Ping....OK",
                      "Starting Timer & Dumping Frame....OK",
                      "Image Dump CompleteTotal Ticks to Get Frame: ", "Total Ticks to Process Frame: " }));
    ExpectFrameDrawn(*form->Pic, camsim::Pattern::Gradient);
    EXPECT_EQ(camera.receivedCommands(), Lines({ "", "DF" }));
}

TEST_F(ConsoleCamsimTest, MissingDeviceAndMissingDriverLeaveTheConsoleUsable)
{
    CamsimProcess camera({ "--fast" });
    auto form = openConsole(camera);

    setenv("CAMCONSOLE_PORT1", "/nonexistent/camconsole-port", 1);
    form->df_nomral->click();
    EXPECT_EQ(errors.shown.size(), 1u);
    EXPECT_EQ(Label(LogLines(*form)[0]).rfind("Serial port error: ", 0), 0u);
    EXPECT_FALSE(form->Com().portOpen());

    setenv("CAMCONSOLE_PORT1", camera.linkPath().c_str(), 1);
    form->df_bin->click();
    EXPECT_EQ(LogLines(*form).back().rfind("Time to display frame: ", 0), 0u) << "the next click works";

    setenv("CAMCONSOLE_DRIVER", "/nonexistent/libtarqis.so", 1);
    Form1 withoutDriver;
    withoutDriver.setErrorReporter(&errors);
    withoutDriver.df_dll->click();
    EXPECT_EQ(errors.shown.size(), 2u);
    EXPECT_EQ(LogLines(withoutDriver).back().rfind("Driver library error: ", 0), 0u);
    EXPECT_FALSE(withoutDriver.session().running());
}

TEST_F(ConsoleCamsimTest, FrameInspectorComparesTheDirectAndDriverDumpsAndSavesWhatCame)
{
    // Green and blue bytes of 1, 2, 3 and 170 in every column.
    CamsimProcess camera({ "--fast", "--pattern", "markers" });
    auto form = openConsole(camera);
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
    EXPECT_EQ(frames->comparePage()->countText()->text(), "0 of 22,880 pixels differ");

    RecordPage *direct = frames->page(TestKind::Direct);
    ASSERT_TRUE(direct->record());
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

TEST_F(ConsoleCamsimTest, ClosingDuringADumpEndsTheTestThenTheWindow)
{
    CamsimProcess camera; // real pace: the dump takes about 3 s
    auto form = openConsole(camera);
    QTimer::singleShot(300, form.get(), [&] { form->close(); });

    form->df_nomral->click();

    // The test ended at its next event-processing point, inside the reception.
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Com().portOpen());
    EXPECT_FALSE(form->session().running());
    EXPECT_EQ(Label(LogLines(*form).back()), "Sending Command & Starting Frame Dump Timer...");
}

} // namespace
