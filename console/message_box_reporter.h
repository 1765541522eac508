#pragma once

#include "platform/error_report.h"

class QWidget;

// Shows an error as a critical message box over the window.
class MessageBoxReporter final : public ErrorReporter {
public:
    explicit MessageBoxReporter(QWidget *window) : m_window(window) {}
    void showError(const std::string &text) override;

private:
    QWidget *m_window;
};
