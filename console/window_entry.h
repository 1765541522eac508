#pragma once

#include "cli/camera_choices.h"

#include <string>
#include <vector>

// The console's window as the camconsole program opens it: in
// libcamconsole_window.so, which the program loads only when it opens a
// window, so that runs without one never load Qt Widgets or Qt Gui.
inline constexpr const char *kWindowLibrary = "libcamconsole_window.so";
inline constexpr const char *kRunWindowEntry = "camconsole_run_window";

// Shows the window on port and driver and runs it until it closes; returns
// the exit status. argc and argv are the program's, for QApplication.
using RunWindowEntry = int (*)(int &argc, char **argv, const PortChoice &port, const DriverChoice &driver);

extern "C" int camconsole_run_window(int &argc, char **argv, const PortChoice &port, const DriverChoice &driver);

// camconsole --open: the frame inspector alone on the capture files, without
// a camera, until it closes. A capture that can not be read is said on
// standard error; when none can, no window opens and the status is 2.
inline constexpr const char *kOpenCapturesEntry = "camconsole_open_captures";
using OpenCapturesEntry = int (*)(int &argc, char **argv, const std::vector<std::string> &captures);

extern "C" int camconsole_open_captures(int &argc, char **argv, const std::vector<std::string> &captures);
