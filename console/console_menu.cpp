#include "console_menu.h"

#include "driver/driver_library.h"
#include "form1.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

namespace {

QString MenuText(const std::string &text)
{
    // '&' marks a shortcut key in a menu entry; a device name shows it as is.
    return QString::fromStdString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

void AskForDevice(Form1 &form)
{
    bool ok = false;
    const QString device
        = QInputDialog::getText(&form, QObject::tr("Camera Port"), QObject::tr("Device of port 1:"), QLineEdit::Normal,
                                QString::fromStdString(form.portChoice().device), &ok);
    if (ok && !device.trimmed().isEmpty())
        form.choosePort(device.trimmed().toStdString());
}

void AskForDriver(Form1 &form)
{
    const QString path = QFileDialog::getOpenFileName(&form, QObject::tr("Driver Library"),
                                                      QString::fromStdString(form.driverChoice().path),
                                                      QObject::tr("Shared libraries (*.so *.so.*);;All files (*)"));
    if (path.isEmpty())
        return;
    // A library that can not serve the driver test is refused now, not at the
    // next test; the earlier choice stays.
    if (const std::optional<std::string> problem = DriverLibrary::Check(path.toStdString())) {
        QMessageBox::warning(
            &form, QObject::tr("Driver Library"),
            QObject::tr("%1 can not be used as the driver library:\n%2\n\nThe console keeps %3.")
                .arg(path, QString::fromStdString(*problem), QString::fromStdString(form.driverChoice().path)));
        return;
    }
    form.chooseDriver(path.toStdString());
}

} // namespace

std::unique_ptr<QMenu> MakeConsoleMenu(Form1 &form, const std::vector<PortRecord> &ports)
{
    auto menu = std::make_unique<QMenu>(&form);
    QMenu *portMenu = menu->addMenu(QObject::tr("Camera Port"));
    auto *group = new QActionGroup(portMenu);
    const std::string current = form.portChoice().device;
    bool currentListed = false;
    for (const PortRecord &port : ports)
        currentListed = currentListed || port.device == current;
    std::vector<PortRecord> entries = ports;
    if (!currentListed)
        entries.insert(entries.begin(), PortRecord { current, {}, {}, {}, {}, {} });
    for (const PortRecord &port : entries) {
        QAction *action = portMenu->addAction(MenuText(PortMenuText(port)));
        action->setCheckable(true);
        action->setChecked(port.device == current);
        action->setActionGroup(group);
        const std::string device = port.device;
        QObject::connect(action, &QAction::triggered, &form, [&form, device] { form.choosePort(device); });
    }
    portMenu->addSeparator();
    QObject::connect(portMenu->addAction(QObject::tr("Other Device...")), &QAction::triggered, &form,
                     [&form] { AskForDevice(form); });

    QObject::connect(menu->addAction(QObject::tr("Driver Library...")), &QAction::triggered, &form,
                     [&form] { AskForDriver(form); });
    QObject::connect(menu->addAction(QObject::tr("Inspect Frames...")), &QAction::triggered, &form,
                     &Form1::inspectFrames);
    menu->addSeparator();
    QObject::connect(menu->addAction(QObject::tr("About camconsole")), &QAction::triggered, &form,
                     [&form] { QMessageBox::about(&form, QObject::tr("About camconsole"), form.aboutText()); });
    return menu;
}
