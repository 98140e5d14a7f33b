#pragma once
// The way back: before a run changes anything it keeps the store database as it was (a copy
// made by PostgreSQL, one per upgrade), and `--rollback` puts that copy back in the store's
// place. `--list-backups` and `--drop-backup` show and drop the copies and the failed
// databases a rollback set aside; `--check` tells whether a copy can be made.
//
// One copy per upgrade of a release, not per run: the copy's comment says whether the run
// it was made for has finished (StoreCopies). A run that finds a copy of the store made
// before its release's first run makes none: the store is then half-upgraded, or already
// upgraded and run again, and that copy is still the store as it was before the release.
// At the end of every run the copy records how the run left the store, so that a rollback
// can tell the business done afterwards, which it would set aside.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/store_check.h"
#include "database/store_copies.h"
#include "run/run_log.h"

namespace kalu {

// How long a run or a rollback waits for the sessions of a killed run of this program to
// end before it counts them as sessions of others.
constexpr std::chrono::seconds kOwnSessionsPatience{10};

// Why the way back cannot be taken: the cause and the remedies, as the operator reads them.
// Nothing was changed.
class WayBackRefused : public std::runtime_error {
 public:
  explicit WayBackRefused(const std::string& text) : std::runtime_error(text) {}
};

// What a run did to keep the store as it was.
struct RunCopy {
  enum class Status {
    Made,     // a copy was made before the run
    Covered,  // the copy made before an earlier run of the release covers this one
    Skipped,  // --no-backup
  };
  Status status = Status::Skipped;
  KeptDatabase copy;  // made or covering
  double seconds = 0;
  // "kalu_antes_… (12 MB, 2026-12-07 22:10:05)", "sin copia (--no-backup)": the line of
  // the run log, the steps and the console.
  std::string Text() const;
  // The run report's "backup".
  nlohmann::json Json() const;
};

// Keeps the store of `session` (the run's own, not connected yet) as it was before a run
// changes anything: makes a copy, or finds that the copy of an unfinished run covers this
// one, or (with `skip`) does neither. Every step goes to `log`; `waiting` is called while
// the server copies. Raises WayBackRefused when a copy is needed and cannot be made, and
// the fatal database error when the store's server cannot be reached at all.
RunCopy KeepStoreAsItWas(Session& session, bool skip, RunLog& log,
                         const std::function<void()>& waiting = {});
// Writes in the copy's comment that the run it covers (on the store of `session`) has
// finished; a failure is logged.
void MarkRunFinished(const Session& session, const RunCopy& copy, RunLog& log);

// What --rollback is asked to do.
struct RollbackRequest {
  std::string to;             // the copy to restore (--to), empty for the store's own
  bool discardLater = false;  // --discard-later-changes: the business done after the
                              // upgrade goes aside with the replaced database
  std::string report;         // the JSON report's file, empty for none
};

// kalu-upgrade --rollback: the exit status (0 rolled back, 1 refused or failed); what
// happened goes to `out` and `log`, and to the JSON report when asked for. A store written
// since its upgrade ended is not rolled back unless the request says to set that aside.
int RollBack(const std::string& store, const RollbackRequest& request, std::FILE* out, RunLog& log);
// kalu-upgrade --list-backups: the copies and failed databases of the store.
int ListKept(const std::string& store, std::FILE* out, RunLog& log);
// kalu-upgrade --drop-backup NAME.
int DropKept(const std::string& store, const std::string& name, std::FILE* out, RunLog& log);

// The lines of --check about the way back for the store of `session`: whether the store's
// role may copy and rename the store, whether the server's disk has room for a copy, and
// the sessions connected to the store other than `checkPid` (the check's own). With `skip`
// (--no-backup) no copy is needed, and neither is a problem.
// Without `connected` (the check could not reach the store) each line says so. Beside them
// a line tells whether the store changed after its newest upgrade.
std::vector<CheckLine> WayBackCheckLines(const Session& session, int32_t checkPid, bool skip,
                                         bool connected);

// When the store database of `session` does not exist on its server (the maintenance
// database says so): what to tell the operator, naming the server and the data source.
std::optional<std::string> StoreMissingText(const Session& session);

}  // namespace kalu
