#pragma once
// The summary that closes the run log: each procedure's elapsed time and the row counts of
// the tables the upgrade changes, before and after.

#include <cstdint>
#include <string>
#include <vector>

#include "startup/context.h"

namespace kalu {

class RunSummary {
 public:
  // Counts the rows before the upgrade. A database that cannot be reached is not an error
  // here: the counts stay unknown and the upgrade reports the failure itself.
  void CountBefore(Context& ctx);
  void CountAfter(Context& ctx);
  // Writes the summary lines to the run log.
  void Write(Context& ctx) const;

 private:
  std::vector<int64_t> Count(Context& ctx);
  std::vector<int64_t> before_;
  std::vector<int64_t> after_;
};

}  // namespace kalu
