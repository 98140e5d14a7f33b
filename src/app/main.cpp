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
#include "app/way_back.h"
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
    "Uso: kalu-upgrade [--console] [--unattended] [--no-backup] [--report ARCHIVO]\n"
    "     kalu-upgrade --check [--no-backup] [--report ARCHIVO]\n"
    "     kalu-upgrade --rollback [--report ARCHIVO]\n"
    "     kalu-upgrade --list-backups\n"
    "     kalu-upgrade --drop-backup NOMBRE\n"
    "\n"
    "Actualiza la base de datos de la tienda a la versión 24.03.20 del sistema Kalu.\n"
    "Se ejecuta en la carpeta de trabajo de la tienda (la que tiene Kalu.dsn e Importar\\).\n"
    "\n"
    "  --console     muestra el avance en la terminal aunque haya pantalla gráfica\n"
    "  --unattended  sin operador: cada mensaje se acepta solo y queda en la bitácora\n"
    "  --no-backup   no hace la copia de la base antes de la corrida (para cadenas que\n"
    "                respaldan la base por otros medios)\n"
    "  --check       revisa la tienda sin cambiar nada (conexión, versión de la base,\n"
    "                tienda en CONTROL, paquetes, SQLPG.XMZ, registro, location.xml,\n"
    "                servicios, espacio en disco, copia de respaldo, sesiones conectadas)\n"
    "                y muestra una tabla; estado 0 si todo está bien, 1 si hay algún\n"
    "                problema\n"
    "  --rollback    regresa la base a como estaba antes de la última corrida: la copia\n"
    "                hecha antes de ella toma el lugar de la base, que queda aparte como\n"
    "                kalu_fallida_<momento>\n"
    "  --list-backups\n"
    "                muestra las copias de la base y las bases apartadas, con su tamaño\n"
    "  --drop-backup NOMBRE\n"
    "                borra una copia o una base apartada (las copias nunca se borran solas)\n"
    "  --report ARCHIVO\n"
    "                al terminar escribe el informe de la corrida (o de la revisión, o del\n"
    "                regreso) en ARCHIVO (JSON)\n"
    "  --help        muestra esta ayuda\n"
    "  --version     muestra la versión\n"
    "\n"
    "Sin pantalla gráfica (DISPLAY, WAYLAND_DISPLAY) se usa la terminal; si la entrada\n"
    "estándar no es una terminal, la corrida es desatendida.\n"
    "La bitácora de cada corrida se agrega a kalu-upgrade.log en la carpeta de trabajo.\n"
    "\n"
    "Estado de salida:\n"
    "  0  actualización terminada\n"
    "  1  terminada por un error (se muestra y queda en la bitácora), o sin poder hacer\n"
    "     la copia de la base antes de cambiar nada\n"
    "  2  argumentos incorrectos\n"
    "  3  el operador cerró la ventana\n";

struct Options {
  bool console = false;
  bool unattended = false;
  bool check = false;
  bool noBackup = false;
  bool rollback = false;
  bool listBackups = false;
  std::string dropBackup;  // the copy or failed database to drop, empty for none
  std::string report;      // the JSON report's file, empty for none
  // The commands that are not a run; at most one is given.
  int Commands() const { return check + rollback + listBackups + !dropBackup.empty(); }
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
  CheckResult result = CheckStore(session, soap, opts.noBackup);
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

// kalu-upgrade --rollback, --list-backups, --drop-backup: the store's copies, from the
// maintenance database; what they do goes to standard output and the run log.
int RunWayBack(const Options& opts) {
  using namespace kalu;
  std::error_code ec;
  RunLog log("kalu-upgrade.log");
  const std::string store = Session().Database();
  if (opts.rollback) {
    log.Line("Regreso de la base " + store + " (kalu-upgrade " KALU_VERSION " --rollback) en " +
             std::filesystem::current_path(ec).string());
    return RollBack(store, opts.report, stdout, log);
  }
  if (opts.listBackups) return ListKept(store, stdout, log);
  log.Line("Borrar " + opts.dropBackup + " (kalu-upgrade " KALU_VERSION " --drop-backup)");
  return DropKept(store, opts.dropBackup, stdout, log);
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
    } else if (arg == "--no-backup") {
      opts.noBackup = true;
    } else if (arg == "--rollback") {
      opts.rollback = true;
    } else if (arg == "--list-backups") {
      opts.listBackups = true;
    } else if (arg == "--drop-backup" || arg == "--report") {
      // Each takes the next argument, which must not be empty.
      if (i + 1 == argc || !*argv[i + 1]) {
        std::fputs(arg == "--report"
                       ? "kalu-upgrade: --report necesita el nombre del archivo del informe\n"
                       : "kalu-upgrade: --drop-backup necesita el nombre de la copia (vea "
                         "--list-backups)\n",
                   stderr);
        return kExitUsage;
      }
      (arg == "--report" ? opts.report : opts.dropBackup) = argv[++i];
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

  if (opts.Commands() > 1) {
    std::fputs(
        "kalu-upgrade: --check, --rollback, --list-backups y --drop-backup van solos "
        "(vea kalu-upgrade --help)\n",
        stderr);
    return kExitUsage;
  }
  if (opts.check) return RunStoreCheck(opts);
  if (opts.Commands() == 1) return RunWayBack(opts);

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
  std::optional<RunCopy> storeCopy;  // what keeps the store as it was, once the step has run
  if (!opts.report.empty()) {
    writeReport = [&](int status, const std::optional<RunError>& error) {
      std::optional<StoreKey> key;
      if (driver && (driver->StoreRegion() || driver->StoreUnit() || driver->StoreWarehouse())) {
        key = StoreKey{driver->StoreRegion(), driver->StoreUnit(), driver->StoreWarehouse()};
      }
      std::string why;
      const nlohmann::json backup = storeCopy ? storeCopy->Json() : nlohmann::json(nullptr);
      if (WriteJsonFile(opts.report,
                        report.Document(ctx.steps, summary, key, backup, status, error), why)) {
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
    // The copy of the store comes before anything changes it, and before the run's own
    // session connects to the store (a database in use cannot be copied).
    ctx.onUpgradeStart = [&] {
      ctx.steps.Begin(StepId::Backup);
      storeCopy = KeepStoreAsItWas(session, opts.noBackup, log, [&] { display.PumpMessages(); });
      ctx.steps.SetDetail(storeCopy->Text());
      ctx.steps.End();
      summary.CountBefore(ctx);
    };
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
  } catch (const WayBackRefused& e) {
    return EndWithError({std::nullopt, e.what()});
  } catch (const std::exception& e) {
    // Nothing of the system raises these; a failure of the machine (memory) ends the run
    // as an error all the same.
    return EndWithError({std::nullopt, std::string("Error: ") + e.what()});
  }
  if (storeCopy) MarkRunFinished(session.Database(), *storeCopy, log);
  writeReport(kExitFinished, std::nullopt);
  log.Line("Fin: actualización terminada (estado 0)");
  return kExitFinished;
}
