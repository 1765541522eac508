#pragma once

#include "platform/error_report.h"

#include <cstdio>

// Shows an error as text on a stream (standard error in a run without a
// window), where the window shows a dialog.
class StreamErrorReporter final : public ErrorReporter {
public:
    explicit StreamErrorReporter(std::FILE *out) : m_out(out) {}
    void showError(const std::string &text) override;

private:
    std::FILE *m_out;
};
