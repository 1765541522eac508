#include "console/form1.h"

#include "console/picture_box.h"
#include "console/status_box.h"
#include "console/wrapping_button.h"
#include "support/qt_app.h"
#include "support/window_on_fakes.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

namespace {

QStringList ActionTexts(const QMenu &menu)
{
    QStringList texts;
    for (const QAction *action : menu.actions())
        texts << action->text();
    return texts;
}

// Right-clicks the picture the way the window system does; returns the menu
// that popped up, if any.
QMenu *RightClick(PictureBox &pic)
{
    const QPoint at(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, pic.mapToGlobal(at));
    QApplication::sendEvent(&pic, &event);
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

class PictureMenuTest : public ::testing::Test, protected WindowOnFakes {
protected:
    void SetUp() override
    {
        form->show();
        pic = form->Pic;
        pic->usePixelUnits();
        // A picture with distinct colors in its corners and a gradient.
        for (int x = 0; x < PictureBox::kWidth; ++x)
            for (int y = 0; y < PictureBox::kHeight; ++y)
                pic->setPixel(x, y, MakeColor(x, y, (x * y) % 256));
        pic->setPixel(0, 0, MakeColor(255, 0, 0));
        pic->setPixel(132, 116, MakeColor(0, 0, 255));
    }

    void TearDown() override
    {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    }

    PictureBox *pic = nullptr;
};

TEST_F(PictureMenuTest, IdleRightClickOffersCopySaveAndInspect)
{
    const QStringList expected { QStringLiteral("Copy Picture"), QStringLiteral("Save Picture As..."),
                                 QStringLiteral("Inspect Frames...") };
    const std::unique_ptr<QMenu> menu = pic->makeContextMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(ActionTexts(*menu), expected);

    QMenu *popup = RightClick(*pic);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(ActionTexts(*popup), expected);
    popup->close();
}

TEST_F(PictureMenuTest, NoMenuWhileATestRunsAndBackAfterIt)
{
    bool menuDuringTest = true;
    bool popupDuringTest = true;
    bool logMenuDuringTest = true;
    bool consoleMenuDuringTest = true;
    driver->duringDump = [&] {
        ASSERT_TRUE(form->session().running());
        menuDuringTest = pic->makeContextMenu() != nullptr;
        popupDuringTest = RightClick(*pic) != nullptr;
        // Neither a late "Save Picture As..." opens a dialog now (one would
        // block here until closed).
        pic->savePictureAs();
        // The log's own menu stays shut too (it would run its own event loop).
        const QPoint at(5, 5);
        QContextMenuEvent logEvent(QContextMenuEvent::Mouse, at, form->status->viewport()->mapToGlobal(at));
        QApplication::sendEvent(form->status->viewport(), &logEvent);
        logMenuDuringTest = QApplication::activePopupWidget() != nullptr;
        consoleMenuDuringTest = form->makeConsoleMenu() != nullptr;
    };
    form->df_dll->click();
    EXPECT_EQ(driver->calls.back(), "CAM_ClosePort") << "the test ran to its end";
    EXPECT_FALSE(menuDuringTest);
    EXPECT_FALSE(popupDuringTest);
    EXPECT_FALSE(logMenuDuringTest);
    EXPECT_FALSE(consoleMenuDuringTest);

    EXPECT_FALSE(form->session().running());
    EXPECT_TRUE(pic->makeContextMenu());
    EXPECT_TRUE(form->makeConsoleMenu());
}

TEST_F(PictureMenuTest, SaveWritesAPngOfExactlyThePicture)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Whatever the name's suffix, the file is a PNG.
    for (const QString &name : { QStringLiteral("picture.png"), QStringLiteral("picture.data") }) {
        const QString path = dir.filePath(name);
        QString error;
        ASSERT_TRUE(pic->savePicture(path, &error)) << error.toStdString();

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));

        QImage saved;
        ASSERT_TRUE(saved.load(path, "png"));
        EXPECT_EQ(saved.size(), QSize(133, 117));
        EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), pic->image());
    }
    // Saving again overwrites the earlier file.
    pic->setPixel(5, 5, MakeColor(1, 2, 3));
    ASSERT_TRUE(pic->savePicture(dir.filePath("picture.png")));
    QImage saved(dir.filePath("picture.png"));
    EXPECT_EQ(saved.pixel(5, 5), qRgb(1, 2, 3));
}

TEST_F(PictureMenuTest, FailedSaveGivesTheReasonAndWritesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString error;
    EXPECT_FALSE(pic->savePicture(dir.filePath("missing/picture.png"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // A directory in the file's place.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.png"));
    error.clear();
    EXPECT_FALSE(pic->savePicture(dir.filePath("taken.png"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// Runs show (which opens a modal file dialog) and hands the dialog to
// answer, again every few milliseconds until it closes.
void AnswerFileDialog(const std::function<void()> &show, const std::function<void(QFileDialog &)> &answer)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
            answer(*dialog);
    });
    poll.start(20);
    show();
}

TEST_F(PictureMenuTest, SaveAsOpensInTheFolderOfTheLastSave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pictures = QDir(dir.path()).absoluteFilePath("pictures");
    const QString elsewhere = QDir(dir.path()).absoluteFilePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(pictures) && QDir().mkpath(elsewhere));
    const auto choose = [](const QString &path) {
        return [path](QFileDialog &dialog) {
            // The dialog leaves a file name field that has the focus alone.
            if (QWidget *focused = dialog.focusWidget())
                focused->clearFocus();
            dialog.selectFile(path);
            static_cast<QDialog &>(dialog).accept(); // QFileDialog::accept checks the name
        };
    };

    AnswerFileDialog([&] { pic->savePictureAs(); }, choose(pictures + "/first.png"));
    EXPECT_TRUE(QFile::exists(pictures + "/first.png"));
    // Another file dialog of the process, accepted elsewhere, does not move it.
    QFileDialog other(nullptr, QString(), elsewhere);
    other.setAcceptMode(QFileDialog::AcceptSave);
    AnswerFileDialog([&] { other.exec(); }, choose(elsewhere + "/other.txt"));

    QString shownIn;
    AnswerFileDialog([&] { pic->savePictureAs(); },
                     [&](QFileDialog &dialog) {
                         shownIn = dialog.directory().absolutePath();
                         dialog.reject();
                     });
    EXPECT_EQ(shownIn.toStdString(), pictures.toStdString());
}

TEST_F(PictureMenuTest, CopyPutsThePictureOnTheClipboard)
{
    pic->copyPicture();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), pic->image());
}

// The console menu, on the window's background and frames.
class ConsoleMenuTest : public PictureMenuTest {
protected:
    void SetUp() override
    {
        PictureMenuTest::SetUp();
        unsetenv("CAMCONSOLE_PORT1");
        form->choosePort("/tmp/camport");
        form->setPortSource([] {
            return std::vector<PortRecord> {
                { "/dev/ttyS0", "", "", "", std::nullopt, std::nullopt },
                { "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1", 0x0403, 0x6001 },
            };
        });
    }
    void TearDown() override
    {
        PictureMenuTest::TearDown();
        unsetenv("CAMCONSOLE_PORT1");
    }

    QMenu *rightClick(QWidget *widget)
    {
        const QPoint at(widget->width() - 3, widget->height() - 3);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &event);
        return qobject_cast<QMenu *>(QApplication::activePopupWidget());
    }
};

TEST_F(ConsoleMenuTest, OpensOnTheBackgroundAndFramesOnly)
{
    QWidget *const background[] = { form.get(), form->Frame1, form->Frame2, form->Frame3 };
    for (QWidget *widget : background) {
        SCOPED_TRACE(widget->objectName().toStdString());
        QMenu *popup = rightClick(widget);
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(
            ActionTexts(*popup),
            QStringList({ "Camera Port", "Driver Library...", "Inspect Frames...", QString(), "About camconsole" }));
        popup->close();
    }
    QWidget *const buttons[] = { form->df_dll, form->df_nomral, form->df_bin };
    for (QWidget *button : buttons) {
        SCOPED_TRACE(button->objectName().toStdString());
        EXPECT_EQ(rightClick(button), nullptr);
    }
    QMenu *pictureMenu = rightClick(form->Pic);
    ASSERT_NE(pictureMenu, nullptr);
    EXPECT_EQ(ActionTexts(*pictureMenu).first(), "Copy Picture") << "the picture keeps its own menu";
    pictureMenu->close();
}

TEST_F(ConsoleMenuTest, PortChoiceReachesTheLinkAndTheAboutBox)
{
    std::unique_ptr<QMenu> menu = form->makeConsoleMenu();
    ASSERT_TRUE(menu);
    QMenu *ports = menu->actions().first()->menu();
    ASSERT_NE(ports, nullptr);
    // The port in use is listed and checked even when the system does not report it.
    EXPECT_EQ(
        ActionTexts(*ports),
        QStringList({ "/tmp/camport", "/dev/ttyS0", "/dev/ttyUSB0  FT232R USB UART", QString(), "Other Device..." }));
    EXPECT_TRUE(ports->actions()[0]->isChecked());
    EXPECT_FALSE(ports->actions()[2]->isChecked());

    ports->actions()[2]->trigger();
    EXPECT_EQ(form->portChoice().device, "/dev/ttyUSB0");
    EXPECT_STREQ(std::getenv("CAMCONSOLE_PORT1"), "/dev/ttyUSB0") << "the driver library maps COM1 through it";
    EXPECT_TRUE(form->aboutText().contains("Port 1: /dev/ttyUSB0 (chosen in the console menu)"))
        << form->aboutText().toStdString();

    menu = form->makeConsoleMenu();
    ports = menu->actions().first()->menu();
    EXPECT_EQ(ports->actions().size(), 4) << "listed once";
    EXPECT_TRUE(ports->actions()[1]->isChecked());
}

TEST_F(ConsoleMenuTest, DriverChoiceIsWhatTheNextDriverTestLoads)
{
    form->chooseDriver("/nonexistent/libcam.so");
    EXPECT_TRUE(form->aboutText().contains("Driver library: /nonexistent/libcam.so (chosen in the console menu)"))
        << form->aboutText().toStdString();
    form->df_dll->click();
    EXPECT_EQ(LogLines(*form).back().rfind("Driver library error: /nonexistent/libcam.so: ", 0), 0u);
}

} // namespace
