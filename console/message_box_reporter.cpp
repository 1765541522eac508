#include "message_box_reporter.h"

#include <QMessageBox>

void MessageBoxReporter::showError(const std::string &text)
{
    QMessageBox::critical(m_window, QStringLiteral("camconsole"), QString::fromStdString(text));
}
