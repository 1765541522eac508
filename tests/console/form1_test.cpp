#include "console/form1.h"

#include "console/picture_box.h"
#include "console/status_box.h"
#include "console/test_session.h"
#include "console/wrapping_button.h"
#include "support/window_on_fakes.h"

#include <QApplication>
#include <QGroupBox>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Form1Test : public ::testing::Test, protected WindowOnFakes {
protected:
    std::unique_ptr<WidgetStatusLog> log = std::make_unique<WidgetStatusLog>(*form->status, *form);
};

// The controls' places are form1.cpp's own constants; what is checked here
// is what those do not say: the captions, the fonts, and that resizing the
// window moves nothing.
TEST_F(Form1Test, ControlsKeepTheirCaptionsFontsAndPlaces)
{
    EXPECT_EQ(form->windowTitle(), "Form1");
    EXPECT_EQ(form->size(), QSize(375, 295));
    const std::pair<QGroupBox *, const char *> frames[]
        = { { form->Frame1, "Dumped Image" }, { form->Frame2, "Select Test" }, { form->Frame3, "Status/Results" } };
    for (const auto &[frame, caption] : frames) {
        EXPECT_EQ(frame->title(), caption);
        EXPECT_TRUE(frame->font().bold());
        EXPECT_DOUBLE_EQ(frame->font().pointSizeF(), 8.25);
    }
    const std::pair<QPushButton *, const char *> buttons[] = { { form->df_dll, "DF --> DLL (RGB)" },
                                                               { form->df_nomral, "DF --> Normal (RGB)" },
                                                               { form->df_bin, "DF --> Binary" } };
    for (const auto &[button, caption] : buttons) {
        EXPECT_EQ(button->text(), caption);
        EXPECT_EQ(button->parentWidget(), form->Frame2);
        EXPECT_FALSE(button->font().bold()) << "the frame's bold title must not spread";
    }
    EXPECT_EQ(form->Pic->parentWidget(), form->Frame1);
    EXPECT_EQ(form->status->parentWidget(), form->Frame3);
    EXPECT_FALSE(form->status->font().bold());

    const QRect button = form->df_bin->geometry();
    const QRect status = form->Frame3->geometry();
    form->resize(700, 500);
    EXPECT_EQ(form->df_bin->geometry(), button);
    EXPECT_EQ(form->Frame3->geometry(), status);
}

// Presses a key on the window, where it reaches the control with the focus,
// and returns the name of the control that has the focus afterwards.
std::string PressKey(Form1 &form, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(form.windowHandle(), key, modifiers);
    const QWidget *focus = QApplication::focusWidget();
    return focus ? focus->objectName().toStdString() : std::string();
}

TEST_F(Form1Test, KeyboardWalksTheTabOrderAndClicksTheFocusedButton)
{
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), form->Pic);

    // Tab leaves the log box instead of typing into it, both ways.
    log->reset("A");
    EXPECT_EQ(PressKey(*form, Qt::Key_Tab), "status");
    EXPECT_EQ(PressKey(*form, Qt::Key_Tab), "df_dll");
    EXPECT_EQ(PressKey(*form, Qt::Key_Backtab, Qt::ShiftModifier), "status");
    EXPECT_EQ(PressKey(*form, Qt::Key_Backtab, Qt::ShiftModifier), "Pic");
    EXPECT_EQ(PressKey(*form, Qt::Key_Tab), "status");
    EXPECT_EQ(form->status->logText(), "A\r\n");

    // Return, Enter and Space each click the button that has the focus, once.
    const auto logStartsWith = [&](const std::string &line) { return form->status->logText().rfind(line, 0) == 0; };
    EXPECT_EQ(PressKey(*form, Qt::Key_Tab), "df_dll");
    EXPECT_EQ(PressKey(*form, Qt::Key_Return), "df_dll");
    EXPECT_EQ(driver->calls,
              std::vector<std::string>({ "CAM_Init COM1", "CAM_Ping", "CAM_DumpFrame", "CAM_ClosePort" }));
    EXPECT_EQ(PressKey(*form, Qt::Key_Tab), "df_nomral");
    EXPECT_EQ(PressKey(*form, Qt::Key_Enter, Qt::KeypadModifier), "df_nomral");
    EXPECT_TRUE(logStartsWith("Starting DF Test using direct connection (RGB)\r\n"));
    EXPECT_EQ(PressKey(*form, Qt::Key_Tab), "df_bin");
    EXPECT_EQ(PressKey(*form, Qt::Key_Space), "df_bin");
    EXPECT_TRUE(logStartsWith("Starting LineMode Test\r\n"));
    EXPECT_EQ(com->opens, 2);
    EXPECT_EQ(driver->calls.size(), 4u);
}

TEST_F(Form1Test, LogResetsAppendsAndKeepsCrLf)
{
    log->reset("A");
    log->appendLine("B");
    log->appendLine("C");
    EXPECT_EQ(form->status->logText(), "A\r\nB\r\nC\r\n");

    log->reset("Start");
    log->appendText("Starting Timer & Dumping Frame....");
    log->appendLine("OK");
    EXPECT_EQ(form->status->logText(), "Start\r\nStarting Timer & Dumping Frame....OK\r\n");
}

TEST_F(Form1Test, CaretFollowsTheEndAndTypedTextStaysThroughAppends)
{
    form->show();
    for (int i = 0; i < 30; ++i)
        log->appendLine("line " + std::to_string(i));
    QApplication::processEvents();
    EXPECT_EQ(form->status->textCursor().position(), form->status->toPlainText().size());
    auto *bar = form->status->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum()) << "the newest line is in view";

    log->reset("A");
    form->status->setFocus();
    QTest::keyClicks(form->status, "typed");
    QTest::keyClick(form->status, Qt::Key_Return);
    log->appendLine("B");
    EXPECT_EQ(form->status->logText(), "A\r\ntyped\r\nB\r\n");
    log->reset("C");
    EXPECT_EQ(form->status->logText(), "C\r\n");
}

TEST_F(Form1Test, PictureClipsAtItsDrawableArea)
{
    PictureBox &pic = *form->Pic;
    pic.usePixelUnits();
    pic.clear();
    const QRgb background = pic.backgroundColor().rgb();
    pic.setPixel(132, 116, MakeColor(255, 0, 0));
    pic.setPixel(133, 10, MakeColor(0, 255, 0));
    pic.setPixel(10, 117, MakeColor(0, 255, 0));
    pic.setPixel(-1, 0, MakeColor(0, 255, 0));
    EXPECT_EQ(pic.image().size(), QSize(133, 117));
    EXPECT_EQ(pic.image().pixel(132, 116), qRgb(255, 0, 0));
    EXPECT_EQ(pic.image().pixel(132, 10), background);
    EXPECT_EQ(pic.image().pixel(10, 116), background);
    EXPECT_EQ(pic.frameWidth(), 2);
    EXPECT_EQ(pic.contentsRect().size(), QSize(133, 117));

    pic.setPixel(1, 2, MakeColor(0, 0, 255)); // the blue component is the high byte
    EXPECT_EQ(pic.image().pixel(1, 2), qRgb(0, 0, 255));
    pic.clear();
    EXPECT_EQ(pic.image().pixel(132, 116), background);
}

TEST_F(Form1Test, ClicksDuringATestAreIgnoredAndCloseWaitsForTheEnd)
{
    form->show();
    int nestedRuns = 0;
    bool closedDuringTest = true;
    // While the driver test runs, click every button and ask to close.
    driver->duringDump = [&] {
        const auto callsBefore = driver->calls.size();
        form->df_dll->click();
        form->df_nomral->click();
        form->df_bin->click();
        nestedRuns = static_cast<int>(driver->calls.size() - callsBefore) + com->opens;
        EXPECT_FALSE(form->close());
        closedDuringTest = !form->isVisible();
    };
    form->df_dll->click();
    EXPECT_EQ(nestedRuns, 0);
    EXPECT_FALSE(closedDuringTest);
    EXPECT_EQ(driver->calls.back(), "CAM_ClosePort");
    EXPECT_FALSE(form->isVisible()) << "the deferred close happens once the test ended";
}

TEST_F(Form1Test, MissingPortLeavesTheConsoleUsable)
{
    com->failOpen = LinkError(LinkError::Cause::NoSuchDevice, "No such file or directory");
    form->df_nomral->click();
    EXPECT_EQ(errors.shown.size(), 1u);
    EXPECT_EQ(form->status->logText().rfind("Serial port error: No such file or directory\r\n", 0), 0u);
    EXPECT_FALSE(com->open);
    EXPECT_FALSE(form->session().running());

    com->answerNext("ACK\r:");
    form->df_nomral->click(); // the next click works
    EXPECT_EQ(form->status->logText().rfind("Starting DF Test using direct connection (RGB)\r\n", 0), 0u);
}

} // namespace
