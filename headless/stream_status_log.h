#pragma once

#include "platform/status_log.h"

#include <cstdio>
#include <string>

// The status log of a run without a window, written to a stream as the
// window's log reads: one output line per log line, "\n" line ends. Text
// appended without a line break stays on the line that the next append
// continues, exactly as in the window. A reset starts the new log on a line
// of its own (a line still open is ended first, since output can not be
// taken back); end() does the same when the run is over. With timestamps
// each line starts with the time of day it started, to the millisecond
// (LocalIsoTime), and a space.
class StreamStatusLog final : public StatusLog {
public:
    explicit StreamStatusLog(std::FILE *out, bool timestamps = false) : m_out(out), m_timestamps(timestamps) {}

    void reset(const std::string &message) override;
    void appendLine(const std::string &message) override;
    void appendText(const std::string &message) override;
    void repaintLog() override {}
    void repaintWindow() override {}

    // Ends a line still open.
    void end();

private:
    void write(const std::string &message, bool lineEnd);

    std::FILE *m_out;
    bool m_timestamps;
    bool m_lineOpen = false;
    bool m_atLineStart = true; // nothing written yet on the current output line
};
