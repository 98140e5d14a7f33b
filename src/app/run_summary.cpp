#include "app/run_summary.h"

#include <array>
#include <cstdio>

#include "database/cursor.h"
#include "run/window_content.h"
#include "runtime/errors.h"
#include "upgrade/schema_changes.h"

namespace kalu {

std::vector<int64_t> RunSummary::Count(Context& ctx) {
  std::vector<int64_t> counts;
  for (const char* table : ChangedTables()) {
    // A table the store does not have yet counts as -1.
    Cursor exists(ctx.session, "ZQRESUMEN", "PZQRES1",
                  "SELECT count(*) FROM information_schema.tables WHERE table_name = ?",
                  CursorKind::Read);
    exists.SetText(1, table, 64);
    bool present = exists.FetchFirst() && exists.Int32(1) > 0;
    exists.Close();
    if (!present) {
      counts.push_back(-1);
      continue;
    }
    Cursor count(ctx.session, "ZQRESUMEN", std::string("PZQRES_") + table,
                 std::string("SELECT count(*) FROM ") + table, CursorKind::Read);
    counts.push_back(count.FetchFirst() ? count.Int32(1) : 0);
  }
  ctx.session.Commit();
  return counts;
}

void RunSummary::CountBefore(Context& ctx) {
  before_ = Count(ctx);
}
void RunSummary::CountAfter(Context& ctx) {
  after_ = Count(ctx);
}

void RunSummary::Write(Context& ctx) const {
  for (const std::string& line : Lines(ctx)) ctx.log.Line(line);
}

std::vector<std::string> RunSummary::Lines(const Context& ctx) const {
  std::vector<std::string> lines = {"Resumen de la corrida:"};
  for (const std::string& notice : ctx.steps.Notices()) lines.push_back("  " + notice);
  for (const Step& step : ctx.steps.All()) {
    if (step.state == StepState::Failed && !step.error.empty()) {
      lines.push_back("  " + FailureText(step));
    }
  }
  for (const auto& t : ctx.timings) {
    double perSecond = t.seconds > 0 ? static_cast<double>(t.rows) / t.seconds : 0;
    char line[160];
    std::snprintf(line, sizeof line, "  %-24s %9.3f s %10lld filas %10.0f filas/s %9lld viajes",
                  t.name.c_str(), t.seconds, static_cast<long long>(t.rows), perSecond,
                  static_cast<long long>(t.roundTrips));
    lines.push_back(line);
  }
  if (before_.size() != ChangedTables().size() || after_.size() != ChangedTables().size())
    return lines;
  lines.push_back("  tabla                   filas antes  filas despues");
  for (size_t i = 0; i < ChangedTables().size(); ++i) {
    auto shown = [](int64_t n) { return n < 0 ? std::string("-") : std::to_string(n); };
    char line[128];
    std::snprintf(line, sizeof line, "  %-24s %11s %14s", ChangedTables()[i],
                  shown(before_[i]).c_str(), shown(after_[i]).c_str());
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> RunSummary::Tables() {
  return {ChangedTables().begin(), ChangedTables().end()};
}

}  // namespace kalu
