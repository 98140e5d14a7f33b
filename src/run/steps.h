#pragma once
// The steps of the upgrade as the operator sees them: which one is running, how far it is
// and how long each took, with the rows it handled. The driver begins and ends each step;
// a procedure with a known amount of work reports how far it is (bytes of its package,
// rows done of rows to do) and counts the rows it handles. An observer (the window, the
// console, the run report) is told of every change and paces its own painting.

#include <chrono>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace kalu {

enum class StepId : int {
  Backup,         // the copy of the store database before the run changes anything
  Schema,         // the release's schema changes and data fixes
  View,           // EdoCtaFolios_View
  CartaPorte,     // vehicles and operators from the central services
  StoredViews,    // VISTAPG and the stored views
  PostalCodes,    // postal-code catalogue
  Colonies,       // colonies catalogue
  SystemData,     // system data catalogues
  Fiscal,         // customers' fiscal data
  InvoiceStamps,  // invoice stamp records
  TaxBases,       // tax base recalculation
};

// Each step once: its title as the operator reads it (Spanish) and its key in the run
// report for the chain's tools, in the order the driver runs them.
struct StepInfo {
  StepId id;
  const char* title;
  const char* reportKey;
};
inline constexpr StepInfo kStepTable[] = {
    {StepId::Backup, "Respaldo", "backup"},
    {StepId::Schema, "Cambios de esquema", "schema"},
    {StepId::View, "Consulta EdoCtaFolios_View", "view"},
    {StepId::CartaPorte, "Vehículos y operadores (Carta Porte)", "carta_porte"},
    {StepId::StoredViews, "Vistas almacenadas", "stored_views"},
    {StepId::PostalCodes, "Códigos postales", "postal_codes"},
    {StepId::Colonies, "Colonias", "colonies"},
    {StepId::SystemData, "Datos del sistema", "system_data"},
    {StepId::Fiscal, "Datos fiscales de clientes", "fiscal"},
    {StepId::InvoiceStamps, "Timbres de facturas", "invoice_stamps"},
    {StepId::TaxBases, "Bases de impuestos", "tax_bases"},
};
constexpr int kStepCount = static_cast<int>(std::size(kStepTable));

// The table holds every step once, at the place of its id.
constexpr bool StepTableInOrder() {
  for (int i = 0; i < kStepCount; ++i) {
    if (static_cast<int>(kStepTable[i].id) != i) return false;
  }
  return kStepCount == static_cast<int>(StepId::TaxBases) + 1;
}
static_assert(StepTableInOrder(), "kStepTable lists each StepId once, in order");

enum class StepState { Waiting, Running, Done, Failed };

struct Step {
  StepId id = StepId::Schema;
  std::string title;  // Spanish, as the operator reads it: "Códigos postales"
  StepState state = StepState::Waiting;
  double seconds = 0;  // elapsed time once done or failed, running time while running
  int64_t rows = 0;    // rows handled
  int64_t done = 0;    // amount of work done of `total`; `total` 0 means unknown
  int64_t total = 0;
  std::string error;   // number and text of the error that failed it, or that it met
  std::string detail;  // what the step made or found, when rows do not tell it: the copy
};

class StepObserver {
 public:
  virtual ~StepObserver() = default;
  // Called after every change; `current` is the running (or last failed) step, -1 before
  // the first one. Observers are called often: paint at your own pace.
  virtual void StepsChanged(const std::vector<Step>& steps, int current) = 0;
  // Called once when the run ends well, with the lines of the run log's summary.
  virtual void RunSummarized(const std::vector<std::string>& lines) { (void)lines; }
  // Called with each notice as the run gives it.
  virtual void Noticed(std::string_view text) { (void)text; }
};

class Steps {
 public:
  Steps();

  void SetObserver(StepObserver* observer) { observer_ = observer; }

  // Starts a step (ending the running one, if any, as done). A step begun again after it
  // was done resumes, its time and rows adding up.
  void Begin(StepId id);
  // How far the running step is: `done` of `total` (bytes, rows); total 0 is unknown.
  void SetWork(int64_t done, int64_t total);
  // Counts rows handled by the running step.
  void AddRows(int64_t n);
  // Says what the running step made or found ("kalu_antes_… (8 MB, 2026-12-07 22:10:05)").
  void SetDetail(std::string_view detail);
  // Ends the running step as done.
  void End();
  // Ends the running step as failed with the error's number and text; nothing when no
  // step is running.
  void Fail(std::string_view error);
  // The running step did not do its work (a package that could not be read), but the run
  // goes on: it ends as failed with `error`, the first one told.
  void Fault(std::string_view error);
  // Some step ended as failed.
  bool AnyFailed() const;

  // Hands the summary of the finished run (the run log's lines) to the observer.
  void Summarize(const std::vector<std::string>& lines);
  // Something the operator must read besides the steps' outcome (a view of the store that
  // the upgrade dropped): told to the observer at once and kept for the summary.
  void Notice(std::string_view text);
  const std::vector<std::string>& Notices() const { return notices_; }

  const std::vector<Step>& All() const { return steps_; }
  const Step& Get(StepId id) const { return steps_[static_cast<int>(id)]; }
  int Current() const { return current_; }
  // Seconds since the object was made (the run's elapsed time).
  double Elapsed() const;

 private:
  void Changed();
  double SinceBegin() const;

  std::vector<Step> steps_;
  std::vector<std::string> notices_;
  int current_ = -1;
  bool running_ = false;
  StepObserver* observer_ = nullptr;
  std::chrono::steady_clock::time_point created_;
  std::chrono::steady_clock::time_point begun_;
};

// Tells an observer when to paint: at once when a step begins, ends or fails, and at most
// once per interval while the running step only moves on.
class PaintPace {
 public:
  explicit PaintPace(std::chrono::milliseconds interval) : interval_(interval) {}
  // True when the steps' states differ from those of the last paint, or the interval has
  // passed since it; then the present states count as painted.
  bool Due(const std::vector<Step>& steps, int current);

 private:
  std::chrono::milliseconds interval_;
  std::vector<StepState> painted_;
  int paintedCurrent_ = -1;
  std::chrono::steady_clock::time_point last_;
};

// "95.000": the number with the Spanish thousands separator.
std::string GroupedNumber(int64_t n);
// "12.3 s".
std::string SecondsText(double seconds);
// How a state is named, in the order of StepState: to the operator, and in the run's report.
struct StateNames {
  const char* shown;
  const char* report;
};
inline constexpr StateNames kStateNames[] = {
    {"en espera", "waiting"}, {"en curso", "running"}, {"ok", "done"}, {"falló", "failed"}};
// "en espera", "en curso", "ok", "falló".
inline const char* StateText(StepState state) {
  return kStateNames[static_cast<int>(state)].shown;
}
// How far the step is, in per cent (0 to 100), or -1 when its amount of work is unknown.
int PercentDone(const Step& step);

}  // namespace kalu
