#pragma once

#include "cli/camera_choices.h"
#include "cli/port_listing.h"
#include "driver/driver_library.h"
#include "frames/last_runs.h"
#include "message_box_reporter.h"
#include "platform/console_platform.h"
#include "platform/system_timing.h"
#include "qt_io/port_inspection.h"
#include "qt_io/qt_event_pump.h"
#include "qt_io/qt_serial_link.h"
#include "test_session.h"
#include "widget_status_log.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class FramesWindow;
class PictureBox;
class QGroupBox;
class QMenu;
class StatusBox;
class WrappingButton;

// The console's only window: the picture under "Dumped Image", the three
// test buttons under "Select Test" and the log under "Status/Results".
// Owns the serial link Com for the life of the program.
class Form1 final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 375;
    static constexpr int kClientHeight = 295;

    // Port 1 and the driver library as the environment sets them.
    explicit Form1(QWidget *parent = nullptr);
    // Port 1 and the driver library as chosen on the command line.
    Form1(const PortChoice &port, const DriverChoice &driver, QWidget *parent = nullptr);
    // A window built on another link or driver (used by tests).
    Form1(std::unique_ptr<SerialLink> com, std::unique_ptr<CameraDriver> driver, QWidget *parent = nullptr);
    ~Form1() override;

    QGroupBox *Frame1 = nullptr;
    PictureBox *Pic = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    StatusBox *status = nullptr;
    WrappingButton *df_dll = nullptr;
    WrappingButton *df_nomral = nullptr;
    WrappingButton *df_bin = nullptr;

    SerialLink &Com() { return *m_com; }
    const TestSession &session() const { return m_session; }
    // Where errors are shown; tests replace the message box.
    void setErrorReporter(ErrorReporter *reporter);
    // The records of the tests' last runs.
    const LastRuns &recorder() const { return m_recorder; }
    // The frame inspector, once opened.
    FramesWindow *framesWindow() const { return m_framesWindow; }

    // The console menu (a right-click on the window's background or its
    // frames): the camera port, the driver library, the frame inspector and
    // the About box. Null while a test runs. A choice lasts until the console
    // closes.
    std::unique_ptr<QMenu> makeConsoleMenu();
    const PortChoice &portChoice() const { return m_portChoice; }
    const DriverChoice &driverChoice() const { return m_driverChoice; }
    // Makes device port 1, for the console's link and the driver library.
    void choosePort(const std::string &device);
    // Loads the driver library from path from the next driver test on.
    void chooseDriver(const std::string &path);
    // The About box's text: version, port 1's device and where it came
    // from, the driver library's path.
    QString aboutText() const;
    // Where the port menu's list comes from; the system's ports unless a
    // test gives made-up records.
    void setPortSource(std::function<std::vector<PortRecord>()> ports) { m_portSource = std::move(ports); }

public slots:
    void df_nomral_Click();
    void df_bin_Click();
    void df_dll_Click();
    // Opens (or raises) the frame inspector "camconsole: Frames".
    void inspectFrames();

protected:
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void buildControls();
    void runTest(TestKind kind);
    // What the driver test's record names as its source: the driver
    // library's path.
    std::string driverSource() const;

    std::unique_ptr<SerialLink> m_com;
    std::unique_ptr<CameraDriver> m_driver;
    PortChoice m_portChoice;
    DriverChoice m_driverChoice;
    std::function<std::vector<PortRecord>()> m_portSource = SystemPorts;
    TestSession m_session;
    std::unique_ptr<WidgetStatusLog> m_log;
    std::unique_ptr<MessageBoxReporter> m_messageBoxes;
    ErrorReporter *m_errors = nullptr;
    SystemPortAdvisor m_advisor;
    ThreadSleeper m_sleeper;
    MonotonicTickClock m_ticks;
    LocalSecondsClock m_seconds;
    QtEventPump m_events { [this] { return m_session.cancelRequested(); } };
    LastRuns m_recorder;
    FramesWindow *m_framesWindow = nullptr;
};
