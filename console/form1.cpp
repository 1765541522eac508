#include "form1.h"

#include "console_menu.h"
#include "frames/recorded_test.h"
#include "inspector/frames_window.h"
#include "picture_box.h"
#include "status_box.h"
#include "wrapping_button.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QMenu>

namespace {

// Small sans-serif faces with the metrics of the classic dialog font, best
// first; the last resort is whatever sans-serif face the system has.
const QStringList kDialogFamilies
    = { QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
        QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif") };

// Frame titles: "MS Sans Serif" 8.25 pt bold, or the closest the system has.
QFont FrameTitleFont()
{
    QFont font;
    font.setFamilies(QStringList { QStringLiteral("MS Sans Serif") } + kDialogFamilies);
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

// The window's default font: 8 pt regular. It is set explicitly on every
// control so that a frame's bold title font does not spread to its children.
QFont ControlFont()
{
    QFont font;
    font.setFamilies(kDialogFamilies);
    font.setPointSizeF(8);
    font.setBold(false);
    return font;
}

QGroupBox *MakeFrame(const QString &caption, QWidget *parent, const QRect &geometry)
{
    auto *frame = new QGroupBox(caption, parent);
    frame->setFont(FrameTitleFont());
    frame->setGeometry(geometry);
    frame->setFocusPolicy(Qt::NoFocus);
    return frame;
}

WrappingButton *MakeButton(const QString &caption, QWidget *parent, const QRect &geometry)
{
    auto *button = new WrappingButton(caption, parent);
    button->setFont(ControlFont());
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    // A right-click on a button opens no menu, neither its own nor the
    // console menu of the frame behind it.
    button->setContextMenuPolicy(Qt::PreventContextMenu);
    return button;
}

} // namespace

Form1::Form1(QWidget *parent) : Form1(ChoosePort(std::nullopt), ChooseDriver(std::nullopt), parent)
{
}

Form1::Form1(const PortChoice &port, const DriverChoice &driver, QWidget *parent)
    : Form1(std::make_unique<QtSerialLink>(), std::make_unique<DriverLibrary>(driver.path), parent)
{
    m_portChoice = port;
    m_driverChoice = driver;
}

Form1::Form1(std::unique_ptr<SerialLink> com, std::unique_ptr<CameraDriver> driver, QWidget *parent)
    : QWidget(parent),
      m_com(std::move(com)),
      m_driver(std::move(driver)),
      m_portChoice(ChoosePort(std::nullopt)),
      m_driverChoice(ChooseDriver(std::nullopt))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    resize(kClientWidth, kClientHeight);
    setFont(ControlFont());
    buildControls();
    m_log = std::make_unique<WidgetStatusLog>(*status, *this);
    m_messageBoxes = std::make_unique<MessageBoxReporter>(this);
    m_errors = m_messageBoxes.get();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    Frame1 = MakeFrame(QStringLiteral("Dumped Image"), this, QRect(0, 8, 161, 153));
    Pic = new PictureBox(Frame1);
    Pic->setGeometry(8, 16, 137, 121);
    Pic->setMenuAllowed([this] { return !m_session.running(); });
    connect(Pic, &PictureBox::inspectFramesRequested, this, &Form1::inspectFrames);

    Frame2 = MakeFrame(QStringLiteral("Select Test"), this, QRect(168, 8, 201, 153));
    Frame3 = MakeFrame(QStringLiteral("Status/Results"), this, QRect(0, 168, 369, 121));
    status = new StatusBox(Frame3);
    status->setFont(ControlFont());
    status->setGeometry(8, 16, 353, 97);
    status->setMenuAllowed([this] { return !m_session.running(); });

    df_dll = MakeButton(QStringLiteral("DF --> DLL (RGB)"), Frame2, QRect(16, 16, 81, 41));
    df_nomral = MakeButton(QStringLiteral("DF --> Normal (RGB)"), Frame2, QRect(16, 72, 81, 41));
    df_bin = MakeButton(QStringLiteral("DF --> Binary"), Frame2, QRect(112, 16, 81, 41));

    const std::pair<QObject *, const char *> names[] = {
        { Frame1, "Frame1" }, { Pic, "Pic" },       { Frame2, "Frame2" },       { Frame3, "Frame3" },
        { status, "status" }, { df_dll, "df_dll" }, { df_nomral, "df_nomral" }, { df_bin, "df_bin" },
    };
    for (const auto &[object, name] : names)
        object->setObjectName(QString::fromLatin1(name));

    // Tab order: the picture first (it has the focus at start), then the
    // log, then the buttons.
    setTabOrder(Pic, status);
    setTabOrder(status, df_dll);
    setTabOrder(df_dll, df_nomral);
    setTabOrder(df_nomral, df_bin);
    Pic->setFocus(Qt::OtherFocusReason);

    connect(df_nomral, &QPushButton::clicked, this, &Form1::df_nomral_Click);
    connect(df_bin, &QPushButton::clicked, this, &Form1::df_bin_Click);
    connect(df_dll, &QPushButton::clicked, this, &Form1::df_dll_Click);
}

void Form1::setErrorReporter(ErrorReporter *reporter)
{
    m_errors = reporter ? reporter : m_messageBoxes.get();
}

std::string Form1::driverSource() const
{
    if (const auto *library = dynamic_cast<const DriverLibrary *>(m_driver.get()))
        return library->path();
    return "(built-in driver)";
}

void Form1::runTest(TestKind kind)
{
    if (!m_session.tryStart())
        return; // a test is running: the click is ignored
    if (m_framesWindow)
        m_framesWindow->updateSaveButtons();
    ConsolePlatform platform { *m_log,    *Pic,     *m_com,    m_sleeper, m_ticks,
                               m_seconds, m_events, *m_errors, *m_driver, m_advisor };
    // The run is recorded for the frame inspector, however the test ends; a
    // run cancelled because the window is closing has closed its port.
    RunRecordedTest(m_recorder, kind, platform, driverSource());
    m_session.finish();
    if (m_session.closeRequested()) {
        close();
        return;
    }
    if (m_framesWindow)
        m_framesWindow->showRecords(m_recorder);
}

void Form1::df_nomral_Click()
{
    runTest(TestKind::Direct);
}

void Form1::df_bin_Click()
{
    runTest(TestKind::LineMode);
}

void Form1::df_dll_Click()
{
    runTest(TestKind::Driver);
}

void Form1::inspectFrames()
{
    if (!m_framesWindow) {
        m_framesWindow = new FramesWindow(this);
        m_framesWindow->setSaveAllowed([this] { return !m_session.running(); });
    }
    m_framesWindow->showRecords(m_recorder);
    m_framesWindow->show();
    m_framesWindow->raise();
    m_framesWindow->activateWindow();
}

std::unique_ptr<QMenu> Form1::makeConsoleMenu()
{
    if (m_session.running())
        return nullptr;
    return MakeConsoleMenu(*this, m_portSource());
}

void Form1::contextMenuEvent(QContextMenuEvent *event)
{
    // Reached from the window's background and its frames; the picture, the
    // log and the buttons keep their own behaviour.
    event->accept();
    std::unique_ptr<QMenu> menu = makeConsoleMenu();
    if (!menu)
        return; // a menu opened from a test's event processing would hold up the reception
    QMenu *shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(event->globalPos());
}

void Form1::choosePort(const std::string &device)
{
    UsePortDevice(device);
    m_portChoice = { device, ChoiceSource::Menu };
}

void Form1::chooseDriver(const std::string &path)
{
    const DriverChoice choice = ChooseDriver(path);
    m_driver = std::make_unique<DriverLibrary>(choice.path);
    m_driverChoice = { choice.path, ChoiceSource::Menu };
}

QString Form1::aboutText() const
{
    return QStringLiteral("camconsole %1\nTest console for a serial color camera.\n\nPort 1: %2 (%3)\nDriver library: "
                          "%4 (%5)")
        .arg(QStringLiteral(CAMCONSOLE_VERSION), QString::fromStdString(m_portChoice.device),
             QString::fromStdString(PortSourceText(m_portChoice.source)), QString::fromStdString(m_driverChoice.path),
             QString::fromStdString(DriverSourceText(m_driverChoice.source)));
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_session.requestClose()) {
        event->accept();
        if (m_framesWindow)
            m_framesWindow->close(); // the program ends with its window
    } else
        event->ignore(); // closes once the running test has ended
}
