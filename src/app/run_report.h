#pragma once
// The run's report for the chain's tools: a JSON document (schemas/run-report.schema.json)
// with the program's version, the store key, start and end, the exit status, each step
// with its outcome, time and rows, the row counts before and after, the store's views that
// the upgrade dropped and did not create again, and the error that ended the run.

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/run_summary.h"
#include "database/store_views.h"
#include "run/steps.h"
#include "run/store_key.h"

namespace kalu {

// The error that ended the run: its number (none for a failure of the machine) and text.
struct RunError {
  std::optional<int32_t> number;
  std::string text;
};

// The store key as both reports hold it: region, unit and warehouse, or null when the run
// or the check did not get to read it.
nlohmann::json StoreKeyJson(const std::optional<StoreKey>& key);

class RunReport {
 public:
  // Notes the start of the run.
  RunReport();

  // The report of the run as it stands, ended now with `exitStatus`. `key` is empty when
  // the run ended before it read the store key; `backup` is the copy that keeps the store
  // as it was (null before it was made); `error` when nothing failed.
  nlohmann::json Document(const Steps& steps, const RunSummary& summary,
                          const std::vector<StoreView>& droppedViews,
                          const std::optional<StoreKey>& key, const nlohmann::json& backup,
                          int exitStatus, const std::optional<RunError>& error) const;

 private:
  std::chrono::system_clock::time_point start_;
};

}  // namespace kalu
