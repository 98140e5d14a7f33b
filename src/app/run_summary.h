#pragma once
// The summary that closes the run log: the run's notices, each procedure's elapsed time, the rows
// it handled, rows per second and the statements it sent to the server, and the row counts of the
// tables the upgrade changes, before and after.

#include <cstdint>
#include <string>
#include <vector>

#include "run/context.h"

namespace kalu {

class RunSummary {
 public:
  // Counts the rows before the upgrade changes anything (it connects, as the upgrade's
  // first statement would, so a failure to connect is the upgrade's fatal error).
  void CountBefore(Context& ctx);
  void CountAfter(Context& ctx);
  // Writes the summary lines to the run log.
  void Write(Context& ctx) const;
  // The summary as the run log holds it, one text per line.
  std::vector<std::string> Lines(const Context& ctx) const;

  // The tables counted, and their row counts before and after the upgrade in that order
  // (empty when not counted; -1 for a table the store does not have).
  static std::vector<std::string> Tables();
  const std::vector<int64_t>& Before() const { return before_; }
  const std::vector<int64_t>& After() const { return after_; }

 private:
  std::vector<int64_t> Count(Context& ctx);
  std::vector<int64_t> before_;
  std::vector<int64_t> after_;
};

}  // namespace kalu
