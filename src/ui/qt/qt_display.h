#pragma once
// The Qt window of the run: MainForm with its tool bar and status bar. This is the only
// code that links Qt.

#include <functional>
#include <memory>

#include "platform/display.h"

namespace kalu {

// Creates the application and the main window. `onClose` runs when the operator closes the
// window, also in the middle of the run; it ends the process. Returns null when no window
// can be opened.
std::unique_ptr<Display> CreateQtDisplay(int& argc, char** argv, std::function<void()> onClose);

}  // namespace kalu
