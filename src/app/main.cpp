// Program entry of kalu-upgrade: one upgrade run of the store database in the working
// folder, shown in the main window when a display is available and in the console
// otherwise.

#include <unistd.h>

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

struct Options {
  bool console = false;
  bool unattended = false;
  bool check = false;
  std::string report;  // the JSON report's file, empty for none
};

bool DisplayAvailable() {
  for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(var);
    if (v && *v) return true;
  }
  return false;
}

// kalu-upgrade --check: the table on standard output, the problems in the run log, the
// JSON report when asked for. The database is only read.
int RunStoreCheck(const Options& opts) {
  using namespace kalu;
  std::error_code ec;
  const std::string folder = std::filesystem::current_path(ec).string();
  RunLog log("kalu-upgrade.log");
  log.Line("Revisión de la tienda (kalu-upgrade " KALU_VERSION " --check) en " + folder);
  const std::string started = IsoNow();
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
    if (!WriteJsonFile(opts.report, CheckReport(result, folder, started, IsoNow()), error)) {
      std::fprintf(stderr, "kalu-upgrade: no se pudo escribir el reporte %s: %s\n",
                   opts.report.c_str(), error.c_str());
      log.Line("Revisión: no se pudo escribir el reporte " + opts.report + ": " + error);
      status = kExitError;
    }
  }
  log.Line("Fin de la revisión (estado " + std::to_string(status) + ")");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kalu;
  Options opts;
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

  if (opts.check) return RunStoreCheck(opts);

  std::error_code ec;
  std::string programPath = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  if (programPath.empty()) programPath = argv[0];

  RunReport report;
  // Writes the run's report, when one was asked for, as the run ends with `status`.
  std::function<void(int status, const std::optional<RunError>& error)> writeReport =
      [](int, const std::optional<RunError>&) {};
  RunLog log("kalu-upgrade.log");
  log.Line("Inicio de kalu-upgrade " KALU_VERSION " en " +
           std::filesystem::current_path(ec).string());

  Session session;
  SystemClock clock;
  DesktopDatabase desktopDb;
  std::unique_ptr<Display> screen;
  Context* running = nullptr;

#ifdef KALU_WITH_QT
  if (!opts.console && !opts.unattended && DisplayAvailable()) {
    screen = CreateQtDisplay(argc, argv, [&] {
      if (running) {
        running->steps.Fail("El operador cerró la ventana");
        writeReport(kExitClosed, std::nullopt);
        CloseMainWindow(*running);
      }
      log.Line("Fin: el operador cerró la ventana (estado 3)");
      std::_Exit(kExitClosed);
    });
  }
#else
  (void)DisplayAvailable;
  (void)running;
#endif
  ConsoleDisplay* console = nullptr;
  if (!screen) {
    bool attended = !opts.unattended && isatty(STDIN_FILENO);
    auto c =
        std::make_unique<ConsoleDisplay>(stdout, attended ? stdin : nullptr, isatty(STDOUT_FILENO));
    console = c.get();
    screen = std::move(c);
    log.Line(attended ? "Pantalla: terminal" : "Pantalla: terminal, desatendida");
  } else {
    log.Line("Pantalla: ventana");
  }

  LoggedDisplay display(*screen, log);
  Context ctx{display, session, clock, log, desktopDb};
  running = &ctx;
  if (auto* view = dynamic_cast<StepObserver*>(screen.get())) ctx.steps.SetObserver(view);
  session.Library().SetNoteSink([&](std::string_view note) { log.Line(note); });

  RunSummary summary;
  std::optional<AZT903114> driver;
  if (!opts.report.empty()) {
    writeReport = [&](int status, const std::optional<RunError>& error) {
      std::optional<StoreKey> key;
      if (driver && (driver->StoreRegion() || driver->StoreUnit() || driver->StoreWarehouse())) {
        key = StoreKey{driver->StoreRegion(), driver->StoreUnit(), driver->StoreWarehouse()};
      }
      std::string why;
      if (WriteJsonFile(opts.report,
                        report.Document(ctx.steps, summary, ctx.droppedViews, key, status, error),
                        why)) {
        log.Line("Informe de la corrida: " + opts.report);
      } else {
        log.Line("No se pudo escribir el informe " + opts.report + ": " + why);
        std::fprintf(stderr, "kalu-upgrade: no se pudo escribir el informe %s: %s\n",
                     opts.report.c_str(), why.c_str());
      }
    };
  }
  // Shows and logs the error that ended the run, without the shutdown steps.
  auto EndWithError = [&](const RunError& error) {
    const std::string& text = error.text;
    log.Line("Error fatal: " + text);
    ctx.steps.Fail(text);
    summary.Write(ctx);
    writeReport(kExitError, error);
    if (console) {
      console->ShowError(text);
    } else {
      display.ShowMessage(text);
    }
    log.Line("Fin: terminada por un error (estado 1)");
    return kExitError;
  };
  try {
    const char* logname = std::getenv("LOGNAME");
    StartUp(ctx, programPath, logname ? logname : "");
    AdjustRunCounter(ctx, 1);
    ctx.onUpgradeStart = [&] { summary.CountBefore(ctx); };
    // The summary is shown before the closing message, so the operator reads it there.
    ctx.onUpgradeEnd = [&] {
      summary.CountAfter(ctx);
      summary.Write(ctx);
      ctx.steps.Summarize(summary.Lines(ctx));
    };
    driver.emplace(ctx);
    driver->Run();
    if (AdjustRunCounter(ctx, -1)) Shutdown(ctx);
  } catch (const RuntimeError& e) {
    return EndWithError(
        {e.Number(), "Error " + std::to_string(e.Number()) + ": " + e.Description()});
  } catch (const std::exception& e) {
    // Nothing of the system raises these; a failure of the machine (memory) ends the run
    // as an error all the same.
    return EndWithError({std::nullopt, std::string("Error: ") + e.what()});
  }
  writeReport(kExitFinished, std::nullopt);
  log.Line("Fin: actualización terminada (estado 0)");
  return kExitFinished;
}
