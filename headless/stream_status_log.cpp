#include "stream_status_log.h"

#include "reports.h"

#include <chrono>

void StreamStatusLog::write(const std::string &message, bool lineEnd)
{
    std::string out;
    out.reserve(message.size() + 1);
    const auto put = [this, &out](char c) {
        if (m_atLineStart && m_timestamps)
            out += LocalIsoTime(std::chrono::system_clock::now()) + ' ';
        out += c;
        m_atLineStart = c == '\n';
    };
    // A CR LF inside a message breaks the line in the window too.
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
            continue;
        put(message[i]);
    }
    if (lineEnd)
        put('\n');
    std::fwrite(out.data(), 1, out.size(), m_out);
    m_lineOpen = !lineEnd && (m_lineOpen || !out.empty());
    // Text without a line end shows at once too: it says what the test waits for.
    std::fflush(m_out);
}

void StreamStatusLog::reset(const std::string &message)
{
    end();
    write(message, true);
}

void StreamStatusLog::appendLine(const std::string &message)
{
    write(message, true);
}

void StreamStatusLog::appendText(const std::string &message)
{
    write(message, false);
}

void StreamStatusLog::end()
{
    if (m_lineOpen)
        write({}, true);
}
