#pragma once
// The way back: before a run changes anything it keeps the store database as it was (a copy
// made by PostgreSQL, one per upgrade), and `--rollback` puts that copy back in the store's
// place. `--list-backups` and `--drop-backup` show and drop the copies and the failed
// databases a rollback set aside; `--check` tells whether a copy can be made.
//
// One copy per upgrade, not per run: the copy's comment says whether the run it was made
// for has finished (StoreCopies). A run that finds the newest copy of the store with its
// run unfinished makes none: the store is then half-upgraded, and that copy, made before
// the unfinished run, is still the store as it was.

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
    Covered,  // the copy of an unfinished earlier run covers this one
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

// kalu-upgrade --rollback: the exit status (0 rolled back, 1 refused or failed); what
// happened goes to `out` and `log`, and to the JSON report `report` when not empty.
int RollBack(const std::string& store, const std::string& report, std::FILE* out, RunLog& log);
// kalu-upgrade --list-backups: the copies and failed databases of the store.
int ListKept(const std::string& store, std::FILE* out, RunLog& log);
// kalu-upgrade --drop-backup NAME.
int DropKept(const std::string& store, const std::string& name, std::FILE* out, RunLog& log);

// The lines of --check about the way back for the store of `session`: whether the store's
// role may copy and rename the store, whether the server's disk has room for a copy, and
// the sessions connected to the store other than `checkPid` (the check's own). With `skip`
// (--no-backup) no copy is needed, and neither is a problem.
std::vector<CheckLine> WayBackCheckLines(const Session& session, int32_t checkPid, bool skip);

}  // namespace kalu
