#pragma once

#include "camsim_process.h"
#include "console/form1.h"
#include "fakes.h"

#include <memory>
#include <string>
#include <vector>

// The console's window, shown, with its real serial link and the driver
// library built here, on a camsim started with the given arguments: port 1
// is camsim's link while this lives. Errors are recorded instead of shown in
// a dialog.
struct WindowOnCamsim {
    explicit WindowOnCamsim(std::vector<std::string> camsimArgs = {});
    ~WindowOnCamsim();
    WindowOnCamsim(const WindowOnCamsim &) = delete;
    WindowOnCamsim &operator=(const WindowOnCamsim &) = delete;

    CamsimProcess camera;
    FakeErrorReporter errors;
    std::unique_ptr<Form1> form;
};

// Brings logged lines to the form of the expected ones, in which a trailing
// '#' stands for a timing number (it depends on the machine) and a trailing
// '*' for any rest of the line: the number after such a line's text becomes
// '#', the rest after the text before the '*' is dropped.
std::vector<std::string> Masked(const std::vector<std::string> &actual, const std::vector<std::string> &expected);

// What each test button logs against a healthy camera, in that form (inline,
// so tables of expected lines may copy them during static initialization).
inline const std::vector<std::string> kDirectDumpLog = { "Starting DF Test using direct connection (RGB)",
                                                         "Opening Comport...",
                                                         "Ping....OK",
                                                         "Sending Command & Starting Frame Dump Timer...",
                                                         "Total Time To Get Frame:#",
                                                         "Dumping Frame...",
                                                         "Time to Process Frame: #" };
inline const std::vector<std::string> kLineModeLog = { "Starting LineMode Test", "Starting Timer", "Stopping Timer",
                                                       "Total time to get frame: #", "Time to display frame: #" };
inline const std::vector<std::string> kDriverDumpLog = { "Starting DLL Test (RGB)",
                                                         "Connecting to COM device",
                                                         "Ping....OK",
                                                         "Starting Timer & Dumping Frame....OK",
                                                         "Image Dump CompleteTotal Ticks to Get Frame: #",
                                                         "Total Ticks to Process Frame: #" };
