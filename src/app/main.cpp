// Program entry of kalu-upgrade: one upgrade run of the store database in the working
// folder, shown in the main window when a display is available and in the console
// otherwise.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/run_report.h"
#include "app/run_summary.h"
#include "app/store_check.h"
#include "database/session.h"
#include "platform/clock.h"
#include "platform/desktop_db.h"
#include "platform/json_file.h"
#include "platform/process.h"
#include "run/context.h"
#include "run/logged_display.h"
#include "run/run_log.h"
#include "run/zq_disp_mod.h"
#include "runtime/errors.h"
#include "ui/console/console_display.h"
#include "upgrade/azt903114.h"
#ifdef KALU_WITH_QT
#include "ui/qt/qt_display.h"
#endif

namespace {

constexpr int kExitFinished = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitClosed = 3;

constexpr const char* kHelp =
    "Uso: kalu-upgrade [--console] [--unattended] [--report ARCHIVO]\n"
    "     kalu-upgrade --check [--report ARCHIVO]\n"
    "\n"
    "Actualiza la base de datos de la tienda a la versión 24.03.20 del sistema Kalu.\n"
    "Se ejecuta en la carpeta de trabajo de la tienda (la que tiene Kalu.dsn e Importar\\).\n"
    "\n"
    "  --console     muestra el avance en la terminal aunque haya pantalla gráfica\n"
    "  --unattended  sin operador: cada mensaje se acepta solo y queda en la bitácora\n"
    "  --check       revisa la tienda sin cambiar nada (conexión, versión de la base,\n"
    "                tienda en CONTROL, paquetes, SQLPG.XMZ, registro, location.xml,\n"
    "                servicios, espacio en disco) y muestra una tabla; estado 0 si todo\n"
    "                está bien, 1 si hay algún problema\n"
    "  --report ARCHIVO\n"
    "                al terminar escribe el informe de la corrida (o de la revisión) en\n"
    "                ARCHIVO (JSON)\n"
    "  --help        muestra esta ayuda\n"
    "  --version     muestra la versión\n"
    "\n"
    "Sin pantalla gráfica (DISPLAY, WAYLAND_DISPLAY) se usa la terminal; si la entrada\n"
    "estándar no es una terminal, la corrida es desatendida.\n"
    "La bitácora de cada corrida se agrega a kalu-upgrade.log en la carpeta de trabajo.\n"
    "\n"
    "Estado de salida:\n"
    "  0  actualización terminada\n"
    "  1  terminada por un error (se muestra y queda en la bitácora)\n"
    "  2  argumentos incorrectos\n"
    "  3  el operador cerró la ventana\n";

bool DisplayAvailable() {
  for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(var);
    if (v && *v) return true;
  }
  return false;
}

struct Options {
  bool console = false;
  bool unattended = false;
  bool check = false;
  std::string report;  // the JSON report's file, empty for none
};

// Reads the command line into `opts`; an exit status when the program ends here (help,
// version, or a usage error already told on standard error).
std::optional<int> ParseOptions(int argc, char** argv, Options& opts) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--console") {
      opts.console = true;
    } else if (arg == "--unattended") {
      opts.unattended = true;
    } else if (arg == "--check") {
      opts.check = true;
    } else if (arg == "--report") {
      if (i + 1 == argc || !*argv[i + 1]) {
        std::fputs("kalu-upgrade: --report necesita el nombre del archivo del informe\n", stderr);
        return kExitUsage;
      }
      opts.report = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return kExitFinished;
    } else if (arg == "--version") {
      std::printf("kalu-upgrade %s\n", KALU_VERSION);
      return kExitFinished;
    } else {
      std::fprintf(stderr, "kalu-upgrade: opción desconocida '%s' (vea kalu-upgrade --help)\n",
                   arg.c_str());
      return kExitUsage;
    }
  }
  return std::nullopt;
}

std::string WorkingFolder() {
  std::error_code ec;
  return std::filesystem::current_path(ec).string();
}

std::string Now() {
  return kalu::IsoLocalTime(std::chrono::system_clock::now());
}

// kalu-upgrade --check: the table on standard output, the problems in the run log, the
// JSON report when asked for. The database is only read.
int RunStoreCheck(const Options& opts) {
  using namespace kalu;
  const std::string folder = WorkingFolder();
  RunLog log("kalu-upgrade.log");
  log.Line("Revisión de la tienda (kalu-upgrade " KALU_VERSION " --check) en " + folder);
  const std::string started = Now();
  Session session;
  SOAPParm_mod soap;
  CheckResult result = CheckStore(session, soap);
  session.End();
  PrintCheckTable(stdout, result);
  for (const CheckLine& line : result.lines) {
    if (!line.ok) log.Line("Revisión: problema en " + line.title + ": " + line.detail);
  }
  int status = result.AllOk() ? kExitFinished : kExitError;
  if (!opts.report.empty()) {
    std::string error;
    if (!WriteJsonFile(opts.report, CheckReport(result, folder, started, Now()), error)) {
      std::fprintf(stderr, "kalu-upgrade: no se pudo escribir el reporte %s: %s\n",
                   opts.report.c_str(), error.c_str());
      log.Line("Revisión: no se pudo escribir el reporte " + opts.report + ": " + error);
      status = kExitError;
    }
  }
  log.Line("Fin de la revisión (estado " + std::to_string(status) + ")");
  return status;
}

// One upgrade run: the display, the session and the process context, the driver, the
// summary and the report, from the first message to the exit status.
class UpgradeRun {
 public:
  UpgradeRun(const Options& opts, const char* argv0)
      : opts_(opts), programPath_(kalu::ProgramPath(argv0)), log_("kalu-upgrade.log") {
    log_.Line("Inicio de kalu-upgrade " KALU_VERSION " en " + WorkingFolder());
  }

  // The run with the display chosen for it; returns the exit status.
  int Execute(int& argc, char** argv) {
    ChooseDisplay(argc, argv);
    kalu::LoggedDisplay display(*screen_, log_);
    kalu::Context ctx{display, session_, clock_, log_, desktopDb_};
    ctx_ = &ctx;
    if (auto* view = dynamic_cast<kalu::StepObserver*>(screen_.get())) ctx.steps.SetObserver(view);
    session_.Library().SetNoteSink([this](std::string_view note) { log_.Line(note); });
    try {
      Upgrade();
    } catch (const kalu::RuntimeError& e) {
      return EndWithError(
          {e.Number(), "Error " + std::to_string(e.Number()) + ": " + e.Description()});
    } catch (const std::exception& e) {
      // Nothing of the system raises these; a failure of the machine (memory) ends the run
      // as an error all the same.
      return EndWithError({std::nullopt, std::string("Error: ") + e.what()});
    }
    WriteReport(kExitFinished, std::nullopt);
    log_.Line("Fin: actualización terminada (estado 0)");
    return kExitFinished;
  }

 private:
  // The window when a display is available and the operator did not ask for the
  // terminal; the terminal otherwise, unattended when nobody can answer it.
  void ChooseDisplay(int& argc, char** argv) {
    using namespace kalu;
#ifdef KALU_WITH_QT
    if (!opts_.console && !opts_.unattended && DisplayAvailable()) {
      screen_ = CreateQtDisplay(argc, argv, [this] { WindowClosed(); });
    }
#else
    (void)argc;
    (void)argv;
    (void)DisplayAvailable;
#endif
    if (screen_) {
      log_.Line("Pantalla: ventana");
      return;
    }
    bool attended = !opts_.unattended && IsTerminal(stdin);
    auto console =
        std::make_unique<ConsoleDisplay>(stdout, attended ? stdin : nullptr, IsTerminal(stdout));
    console_ = console.get();
    screen_ = std::move(console);
    log_.Line(attended ? "Pantalla: terminal" : "Pantalla: terminal, desatendida");
  }

  // The driver's run between the start-up and the shutdown of the process context, with the
  // row counts before and after it.
  void Upgrade() {
    using namespace kalu;
    Context& ctx = *ctx_;
    StartUp(ctx, programPath_, LoginName());
    AdjustRunCounter(ctx, 1);
    ctx.onUpgradeStart = [&] { summary_.CountBefore(ctx); };
    // The summary is shown before the closing message, so the operator reads it there.
    ctx.onUpgradeEnd = [&] {
      summary_.CountAfter(ctx);
      summary_.Write(ctx);
      ctx.steps.Summarize(summary_.Lines(ctx));
    };
    driver_.emplace(ctx);
    driver_->Run();
    if (AdjustRunCounter(ctx, -1)) Shutdown(ctx);
  }

  // The operator closed the window: the run ends at once.
  [[noreturn]] void WindowClosed() {
    if (ctx_) {
      ctx_->steps.Fail("El operador cerró la ventana");
      WriteReport(kExitClosed, std::nullopt);
      kalu::CloseMainWindow(*ctx_);
    }
    log_.Line("Fin: el operador cerró la ventana (estado 3)");
    std::_Exit(kExitClosed);
  }

  // Shows and logs the error that ended the run, without the shutdown steps.
  int EndWithError(const kalu::RunError& error) {
    const std::string& text = error.text;
    log_.Line("Error fatal: " + text);
    ctx_->steps.Fail(text);
    summary_.Write(*ctx_);
    WriteReport(kExitError, error);
    if (console_) {
      console_->ShowError(text);
    } else {
      ctx_->display.ShowMessage(text);
    }
    log_.Line("Fin: terminada por un error (estado 1)");
    return kExitError;
  }

  // Writes the run's report, when one was asked for, as the run ends with `status`.
  void WriteReport(int status, const std::optional<kalu::RunError>& error) {
    using namespace kalu;
    if (opts_.report.empty()) return;
    std::optional<StoreKey> key;
    if (driver_ && (driver_->StoreRegion() || driver_->StoreUnit() || driver_->StoreWarehouse())) {
      key = StoreKey{driver_->StoreRegion(), driver_->StoreUnit(), driver_->StoreWarehouse()};
    }
    std::string why;
    if (WriteJsonFile(
            opts_.report,
            report_.Document(ctx_->steps, summary_, ctx_->droppedViews, key, status, error), why)) {
      log_.Line("Informe de la corrida: " + opts_.report);
    } else {
      log_.Line("No se pudo escribir el informe " + opts_.report + ": " + why);
      std::fprintf(stderr, "kalu-upgrade: no se pudo escribir el informe %s: %s\n",
                   opts_.report.c_str(), why.c_str());
    }
  }

  const Options& opts_;
  const std::string programPath_;
  kalu::RunReport report_;
  kalu::RunLog log_;
  kalu::Session session_;
  kalu::SystemClock clock_;
  kalu::DesktopDatabase desktopDb_;
  std::unique_ptr<kalu::Display> screen_;
  kalu::ConsoleDisplay* console_ = nullptr;
  kalu::Context* ctx_ = nullptr;  // while Execute runs
  kalu::RunSummary summary_;
  std::optional<kalu::AZT903114> driver_;
};

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  if (std::optional<int> status = ParseOptions(argc, argv, opts)) return *status;
  if (opts.check) return RunStoreCheck(opts);
  return UpgradeRun(opts, argv[0]).Execute(argc, argv);
}
