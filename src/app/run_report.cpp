#include "app/run_report.h"

#include "build_config.h"
#include "platform/clock.h"

namespace kalu {

namespace {

// A row count as the report holds it: null for a table the store does not have.
nlohmann::json Count(int64_t n) {
  return n < 0 ? nlohmann::json(nullptr) : nlohmann::json(n);
}

}  // namespace

nlohmann::json StoreKeyJson(const std::optional<StoreKey>& key) {
  if (!key) return nullptr;
  return {{"region", key->region}, {"unit", key->unit}, {"warehouse", key->warehouse}};
}

RunReport::RunReport() : start_(std::chrono::system_clock::now()) {}

nlohmann::json RunReport::Document(const Steps& steps, const RunSummary& summary,
                                   const std::vector<StoreView>& droppedViews,
                                   const std::optional<StoreKey>& key, const nlohmann::json& backup,
                                   int exitStatus, const std::optional<RunError>& error) const {
  nlohmann::json doc;
  doc["program"] = "kalu-upgrade";
  doc["version"] = KALU_VERSION;
  doc["store"] = StoreKeyJson(key);
  doc["start"] = IsoLocalTime(start_);
  doc["end"] = IsoLocalTime(std::chrono::system_clock::now());
  doc["exit_status"] = exitStatus;
  doc["backup"] = backup;

  nlohmann::json list = nlohmann::json::array();
  for (const Step& s : steps.All()) {
    nlohmann::json step = {{"id", kStepTable[static_cast<int>(s.id)].reportKey},
                           {"title", s.title},
                           {"status", kStateNames[static_cast<int>(s.state)].report},
                           {"seconds", s.seconds},
                           {"rows", s.rows}};
    if (s.state == StepState::Failed) step["error"] = s.error;
    if (!s.detail.empty()) step["detail"] = s.detail;
    list.push_back(step);
  }
  doc["steps"] = list;

  nlohmann::json counts = nlohmann::json::object();
  const std::vector<int64_t>& before = summary.Before();
  const std::vector<int64_t>& after = summary.After();
  std::vector<std::string> tables = RunSummary::Tables();
  for (size_t i = 0; i < tables.size(); ++i) {
    if (i >= before.size()) break;
    counts[tables[i]] = {{"before", Count(before[i])},
                         {"after", i < after.size() ? Count(after[i]) : nlohmann::json(nullptr)}};
  }
  doc["row_counts"] = counts;

  nlohmann::json dropped = nlohmann::json::array();
  for (const StoreView& view : droppedViews) {
    dropped.push_back({{"name", view.name}, {"definition", CreateStatement(view)}});
  }
  doc["dropped_views"] = dropped;

  doc["error"] = error ? nlohmann::json{{"number", error->number ? nlohmann::json(*error->number)
                                                                 : nlohmann::json(nullptr)},
                                        {"text", error->text}}
                       : nlohmann::json(nullptr);
  return doc;
}

}  // namespace kalu
