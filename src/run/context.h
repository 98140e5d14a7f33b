#pragma once
// The process context: the one instance of everything a run shares (display, database
// session, clock, run log, steps, and what the store system's sequence keeps).
// Procedures are constructed with it; nothing else in the program is process-wide.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "database/store_views.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "run/run_log.h"
#include "run/sequence_only.h"
#include "run/steps.h"

namespace kalu {

class Session;

// How long one procedure of the run took, the rows it handled and the statements it sent.
struct ProcedureTiming {
  std::string name;
  double seconds = 0;
  int64_t rows = 0;
  int64_t roundTrips = 0;
};

struct Context {
  Context(Display& display, Session& session, const Clock& clock, RunLog& log)
      : display(display), session(session), clock(clock), log(log) {}

  Display& display;
  Session& session;
  const Clock& clock;
  RunLog& log;

  SequenceOnly sequenceOnly;  // folders, names and desktop database that nothing reads
  int16_t savedPointer = kPointerDefault;
  int16_t runCounter = 0;
  std::vector<ProcedureTiming> timings;  // in the order the procedures ran
  Steps steps;                           // the upgrade's steps as the operator sees them
  std::vector<StoreView> droppedViews;   // views of the store dropped and not created again
  // Runs when the operator has accepted the start of the upgrade, before its first
  // statement (the run log's row counts).
  std::function<void()> onUpgradeStart;
  // Runs when the last step has ended, before the closing message (the run's summary).
  std::function<void()> onUpgradeEnd;
};

// The last steps of every procedure: the desktop database engine idles with the
// free-locks option, the session commits when `commit` is set (a failure is raised as the
// database error), and the saved mouse pointer comes back.
void ProcedureEpilogue(Context& ctx, bool commit);

// Writes a progress text (third panel of the main window's status bar).
inline void Progress(Context& ctx, std::string_view text) {
  ctx.display.SetProgress(text);
}

}  // namespace kalu
