#include "stream_error_reporter.h"

void StreamErrorReporter::showError(const std::string &text)
{
    std::fputs((text + "\n").c_str(), m_out);
    std::fflush(m_out);
}
