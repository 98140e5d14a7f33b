#pragma once
// The program entry module: settings, start-up, run counter and shutdown of one run.

#include <cstdint>
#include <string>

#include "run/context.h"

namespace kalu {

// Start-up steps 1 to 9: folders, user, hourglass, data-access library, desktop database,
// running program name, main window, run counter.
void StartUp(Context& ctx, const std::string& programPath, const std::string& logname);

// Adds `delta` to the run counter (error 6 on overflow); returns true when it reached 0,
// which is when the shutdown must run.
bool AdjustRunCounter(Context& ctx, int16_t delta);

// The shutdown: closes the desktop database, ends the database session, hides the
// windows and waits at least one period of 800 ms for the report viewer.
void Shutdown(Context& ctx);

// The main-window close: closes the desktop database and ends the database session.
void CloseMainWindow(Context& ctx);

}  // namespace kalu
