#pragma once

// Creates the process's QApplication on first use (the tests run with the
// offscreen platform), so widgets and serial ports can be used.
void EnsureQtApp();
