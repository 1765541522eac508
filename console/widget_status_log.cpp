#include "widget_status_log.h"

#include "status_box.h"

void WidgetStatusLog::reset(const std::string &message)
{
    m_box.setLogText(message + "\r\n");
}

void WidgetStatusLog::appendLine(const std::string &message)
{
    m_box.setLogText(m_box.logText() + message + "\r\n");
}

void WidgetStatusLog::appendText(const std::string &message)
{
    m_box.setLogText(m_box.logText() + message);
}

void WidgetStatusLog::repaintLog()
{
    m_box.viewport()->repaint();
}

void WidgetStatusLog::repaintWindow()
{
    m_window.repaint();
}
