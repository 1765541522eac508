#pragma once

#include <string>

// The console's status log: the text box under "Status/Results".
// Lines are separated by CR LF. Every append reads the current text,
// concatenates and writes the whole text back; a reset writes without reading.
class StatusLog {
public:
    virtual ~StatusLog() = default;

    // The log's text becomes message followed by CR LF.
    virtual void reset(const std::string &message) = 0;
    // Current text, then message, then CR LF.
    virtual void appendLine(const std::string &message) = 0;
    // Current text followed by message, no line break.
    virtual void appendText(const std::string &message) = 0;

    // Redraw the log box at once, so that appended lines show while a test
    // keeps the thread.
    virtual void repaintLog() = 0;
    // Redraw the whole window at once.
    virtual void repaintWindow() = 0;
};
