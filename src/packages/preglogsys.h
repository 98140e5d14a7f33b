#pragma once
// PREGLOGSYS: records who did what, when and on which computer in the system log
// LOGSYSTEM; one row per user and second. The row is committed by the caller's next commit.
// The row is written by one statement that passes over a row already there, so a load that
// logs every entry it writes can send them all without waiting.

#include <cstdint>
#include <string>

#include "run/context.h"
#include "runtime/convert.h"

namespace kalu {

class PREGLOGSYS {
 public:
  static constexpr const char* kApp = "PREGLOGSYS";

  explicit PREGLOGSYS(Context& ctx) : ctx_(ctx) {}
  // `user` did `object` in `mode` on `date`
  // at `time`.
  void Run(const std::string& user, DateValue date, DateValue time, const std::string& object,
           const std::string& mode);

 private:
  Context& ctx_;
};

}  // namespace kalu
