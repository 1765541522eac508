#pragma once

#include "cli/port_listing.h"

#include <memory>
#include <vector>

class Form1;
class QMenu;

// The window's console menu: "Camera Port" (the reported ports by device and
// description, the one in use checked, and "Other Device..." to type a
// path), "Driver Library..." (pick the .so), "Inspect Frames..." (the frame
// inspector) and "About camconsole".
std::unique_ptr<QMenu> MakeConsoleMenu(Form1 &form, const std::vector<PortRecord> &ports);
