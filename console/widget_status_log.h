#pragma once

#include "platform/status_log.h"

class QWidget;
class StatusBox;

// The status log written into the window's log box. Every append reads the
// box's text (with whatever the user typed), concatenates and writes it back.
class WidgetStatusLog final : public StatusLog {
public:
    WidgetStatusLog(StatusBox &box, QWidget &window) : m_box(box), m_window(window) {}

    void reset(const std::string &message) override;
    void appendLine(const std::string &message) override;
    void appendText(const std::string &message) override;
    void repaintLog() override;
    void repaintWindow() override;

private:
    StatusBox &m_box;
    QWidget &m_window;
};
