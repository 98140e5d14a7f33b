#pragma once
// The native window of the run on Windows: MainForm with its tool bar, steps and status bar.
// This is the only code of the run's display that calls the window system.

#include <functional>
#include <memory>

#include "platform/display.h"

namespace kalu {

// Creates the main window (hidden until ShowMainWindow). `onClose` runs when the operator
// closes the window, also in the middle of the run; it asks the run to stop. `onEndSession`
// runs when Windows ends the session (logoff, shutdown) and returns once the run has
// stopped. Returns null when no window can be opened (a session without a desktop). The
// display is also the window's message loop (run/worker_display.h).
std::unique_ptr<Display> CreateWin32Display(std::function<void()> onClose,
                                            std::function<void()> onEndSession = {});

}  // namespace kalu
