#include "app/run_report.h"

#include <cstdio>
#include <ctime>

namespace kalu {

namespace {

// The steps' names for the chain's tools, in the order of StepId.
constexpr const char* kStepNames[kStepCount] = {
    "backup",   "schema",      "view",   "carta_porte",    "stored_views", "postal_codes",
    "colonies", "system_data", "fiscal", "invoice_stamps", "tax_bases",
};

const char* StateName(StepState state) {
  switch (state) {
    case StepState::Waiting:
      return "waiting";
    case StepState::Running:
      return "running";
    case StepState::Done:
      return "done";
    case StepState::Failed:
      return "failed";
  }
  return "";
}

// A row count as the report holds it: null for a table the store does not have.
nlohmann::json Count(int64_t n) {
  return n < 0 ? nlohmann::json(nullptr) : nlohmann::json(n);
}

}  // namespace

RunReport::RunReport() : start_(std::chrono::system_clock::now()) {}

std::string RunReport::IsoTime(std::chrono::system_clock::time_point t) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  int offset = static_cast<int>(local.tm_gmtoff / 60);  // minutes east of UTC
  int minutes = offset < 0 ? -offset : offset;
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60,
                minutes % 60);
  return std::string(text) + zone;
}

nlohmann::json RunReport::Document(const Steps& steps, const RunSummary& summary,
                                   const std::optional<StoreKey>& key, const nlohmann::json& backup,
                                   int exitStatus, const std::optional<RunError>& error) const {
  nlohmann::json doc;
  doc["program"] = "kalu-upgrade";
  doc["version"] = KALU_VERSION;
  doc["store"] = key ? nlohmann::json{{"region", key->region},
                                      {"unit", key->unit},
                                      {"warehouse", key->warehouse}}
                     : nlohmann::json(nullptr);
  doc["start"] = IsoTime(start_);
  doc["end"] = IsoTime(std::chrono::system_clock::now());
  doc["exit_status"] = exitStatus;
  doc["backup"] = backup;

  nlohmann::json list = nlohmann::json::array();
  for (const Step& s : steps.All()) {
    nlohmann::json step = {{"id", kStepNames[static_cast<int>(s.id)]},
                           {"title", s.title},
                           {"status", StateName(s.state)},
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

  doc["error"] = error ? nlohmann::json{{"number", error->number ? nlohmann::json(*error->number)
                                                                 : nlohmann::json(nullptr)},
                                        {"text", error->text}}
                       : nlohmann::json(nullptr);
  return doc;
}

}  // namespace kalu
