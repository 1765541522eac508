#pragma once

#include <string>

// Shows an error to the user (a modal dialog in the console; recorded by
// test fakes, never blocking).
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void showError(const std::string &text) = 0;
};
