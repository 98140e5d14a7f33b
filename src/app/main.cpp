// Program entry of kalu-upgrade: one upgrade run of the store database in the working
// folder, shown in the main window when a display is available and in the console
// otherwise.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/run_report.h"
#include "app/run_summary.h"
#include "app/store_check.h"
#include "app/way_back.h"
#include "build_config.h"
#include "database/run_lock.h"
#include "database/session.h"
#include "platform/clock.h"
#include "platform/json_file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/run_guard.h"
#include "run/context.h"
#include "run/logged_display.h"
#include "run/run_log.h"
#include "run/stop_request.h"
#include "run/worker_display.h"
#include "run/zq_disp_mod.h"
#include "runtime/errors.h"
#include "ui/console/console_display.h"
#include "upgrade/azt903114.h"
#ifdef KALU_WITH_QT
#include "ui/qt/qt_display.h"
#endif
#ifdef KALU_WITH_WIN32
#include "ui/win32/win32_display.h"
#endif

namespace {

constexpr int kExitFinished = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitClosed = 3;
constexpr int kExitFailedSteps = 4;

// How long the window holds a logoff or shutdown for the run to stop; meanwhile Windows
// shows the program and its reason, and the operator may end the session anyway.
constexpr std::chrono::seconds kEndSessionPatience{30};

constexpr const char* kHelp =
    "Uso: kalu-upgrade [--console] [--unattended] [--no-backup] [--report ARCHIVO]\n"
    "     kalu-upgrade --check [--no-backup] [--report ARCHIVO]\n"
    "     kalu-upgrade --rollback [--to COPIA] [--discard-later-changes] [--report ARCHIVO]\n"
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
    "  --rollback    regresa la base a como estaba antes de la primera corrida de la\n"
    "                última versión: la copia hecha antes de ella toma el lugar de la base,\n"
    "                que queda aparte como kalu_fallida_<momento>; no lo hace si la base\n"
    "                cambió después de la actualización\n"
    "  --to COPIA    (con --rollback) restaura esa copia de --list-backups\n"
    "  --discard-later-changes\n"
    "                (con --rollback) regresa la base aunque haya cambiado después de la\n"
    "                actualización: esos cambios quedan en la base apartada\n"
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
    "estándar no es una terminal, la corrida es desatendida (en Windows también cuando\n"
    "corre como SYSTEM o en la sesión 0, como una tarea programada de noche).\n"
    "Una sola corrida a la vez por tienda: la segunda termina con estado 1 sin cambiar\n"
    "nada. Una sentencia que no obtiene a tiempo una tabla que otra sesión tiene ocupada\n"
    "termina la corrida con estado 1 y nombra esa sesión.\n"
    "La bitácora de cada corrida se agrega a kalu-upgrade.log en la carpeta de trabajo (si\n"
    "la carpeta no la admite, en la carpeta local del usuario, y el programa dice dónde).\n"
    "\n"
    "Estado de salida:\n"
    "  0  actualización terminada\n"
    "  1  terminada por un error (se muestra y queda en la bitácora), o sin poder hacer\n"
    "     la copia de la base antes de cambiar nada, o porque ya hay una corrida en curso\n"
    "  2  argumentos incorrectos\n"
    "  3  el operador cerró la ventana, o la corrida fue interrumpida (Ctrl+C, cierre de\n"
    "     la consola, fin de la sesión o apagado del equipo, SIGINT o SIGTERM): se detiene\n"
    "     en un punto seguro y escribe la bitácora y el informe\n"
    "  4  terminada con pasos fallidos: un paquete no se pudo leer (el paso dice \"falló\"\n"
    "     con su mensaje; los demás pasos se hicieron)\n";

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
  bool noBackup = false;
  bool rollback = false;
  bool listBackups = false;
  std::string dropBackup;  // the copy or failed database to drop, empty for none
  std::string report;      // the JSON report's file, empty for none
  std::string rollbackTo;  // --to: the copy a rollback restores, empty for the store's own
  bool discardLater = false;
  // The commands that are not a run; at most one is given.
  int Commands() const { return check + rollback + listBackups + !dropBackup.empty(); }
};

// The options that only switch something on.
constexpr std::pair<const char*, bool Options::*> kFlags[] = {
    {"--console", &Options::console},
    {"--unattended", &Options::unattended},
    {"--check", &Options::check},
    {"--no-backup", &Options::noBackup},
    {"--rollback", &Options::rollback},
    {"--list-backups", &Options::listBackups},
    {"--discard-later-changes", &Options::discardLater},
};

// Reads the command line into `opts`; an exit status when the program ends here (help,
// version, or a usage error already told on standard error).
std::optional<int> ParseOptions(const std::vector<std::string>& args, Options& opts) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                   [&](const auto& f) { return arg == f.first; });
    if (flag != std::end(kFlags)) {
      opts.*(flag->second) = true;
    } else if (arg == "--drop-backup" || arg == "--report" || arg == "--to") {
      // Each takes the next argument, which must not be empty.
      if (i + 1 == args.size() || args[i + 1].empty()) {
        kalu::WriteText(stderr,
                        arg == "--report"
                            ? "kalu-upgrade: --report necesita el nombre del archivo del informe\n"
                            : "kalu-upgrade: " + arg +
                                  " necesita el nombre de la copia (vea --list-backups)\n");
        return kExitUsage;
      }
      (arg == "--report" ? opts.report
       : arg == "--to"   ? opts.rollbackTo
                         : opts.dropBackup) = args[++i];
    } else if (arg == "--help" || arg == "-h") {
      kalu::WriteText(stdout, kHelp);
      return kExitFinished;
    } else if (arg == "--version") {
      std::printf("kalu-upgrade %s\n", KALU_VERSION);
      return kExitFinished;
    } else {
      kalu::WriteText(stderr,
                      "kalu-upgrade: opción desconocida '" + arg + "' (vea kalu-upgrade --help)\n");
      return kExitUsage;
    }
  }
  if (opts.Commands() > 1) {
    kalu::WriteText(stderr,
                    "kalu-upgrade: --check, --rollback, --list-backups y --drop-backup van solos "
                    "(vea kalu-upgrade --help)\n");
    return kExitUsage;
  }
  if ((!opts.rollbackTo.empty() || opts.discardLater) && !opts.rollback) {
    kalu::WriteText(stderr,
                    "kalu-upgrade: --to y --discard-later-changes van con --rollback (vea "
                    "kalu-upgrade --help)\n");
    return kExitUsage;
  }
  return std::nullopt;
}

std::string WorkingFolder() {
  std::error_code ec;
  return kalu::TextOf(std::filesystem::current_path(ec));
}

std::string Now() {
  return kalu::IsoLocalTime(std::chrono::system_clock::now());
}

// Why the working folder is not a store's (a shortcut that starts elsewhere, say); empty
// when it holds the store's Kalu.dsn.
std::string NotAStoreFolder() {
  std::error_code ec;
  if (std::filesystem::is_regular_file(kalu::NativePath(kalu::Session::kFileDsn), ec)) return "";
  return "No se encontró Kalu.dsn en la carpeta " + WorkingFolder() +
         ": inicie el programa desde la carpeta de la tienda (la que tiene Kalu.dsn e Importar)";
}

// The run log of the working folder, for the commands that write to standard output: where
// it went instead, when the folder could not take it, is told on standard error.
kalu::RunLog OpenRunLog() {
  kalu::RunLog log("kalu-upgrade.log");
  if (!log.Notice().empty() && log.IsOpen())
    kalu::WriteText(stderr, "kalu-upgrade: " + log.Notice() + "\n");
  return log;
}

// kalu-upgrade --check: the table on standard output, the problems in the run log, the
// JSON report when asked for. The database is only read.
int RunStoreCheck(const Options& opts) {
  using namespace kalu;
  const std::string folder = WorkingFolder();
  RunLog log = OpenRunLog();
  log.Line("Revisión de la tienda (kalu-upgrade " KALU_VERSION " --check) en " + folder);
  const std::string started = Now();
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
    if (Status written = WriteJsonFile(opts.report, CheckReport(result, folder, started, Now()));
        !written.ok()) {
      WriteText(stderr, "kalu-upgrade: no se pudo escribir el reporte " + opts.report + ": " +
                            written.text() + "\n");
      log.Line("Revisión: no se pudo escribir el reporte " + opts.report + ": " + written.text());
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
  RunLog log = OpenRunLog();
  if (const std::string refusal = NotAStoreFolder(); !refusal.empty()) {
    log.Line("Error fatal: " + refusal);
    WriteText(stderr, "kalu-upgrade: " + refusal + "\n");
    return kExitError;
  }
  const std::string store = Session().Database();
  if (opts.rollback) {
    log.Line("Regreso de la base " + store + " (kalu-upgrade " KALU_VERSION " --rollback) en " +
             WorkingFolder());
    return RollBack(store, {opts.rollbackTo, opts.discardLater, opts.report}, stdout, log);
  }
  if (opts.listBackups) return ListKept(store, stdout, log);
  log.Line("Borrar " + opts.dropBackup + " (kalu-upgrade " KALU_VERSION " --drop-backup)");
  return DropKept(store, opts.dropBackup, stdout, log);
}

// One upgrade run: the display, the session and the process context, the driver, the
// summary and the report, from the first message to the exit status.
class UpgradeRun {
 public:
  UpgradeRun(const Options& opts, const char* argv0)
      : opts_(opts), programPath_(kalu::ProgramPath(argv0)), log_("kalu-upgrade.log") {
    log_.Line("Inicio de kalu-upgrade " KALU_VERSION " en " + WorkingFolder());
  }

  // The run with the display chosen for it; returns the exit status. A window keeps this
  // thread to pump its messages, and the run works on a thread of its own.
  int Execute(int& argc, char** argv) {
    using namespace kalu;
    const InterruptWatch interrupts([this] { RequestStop(StopReason::Interrupted); },
                                    [this](auto patience) { return stop_.WaitFinished(patience); });
    ChooseDisplay(argc, argv);
    const LongRunSettings settings(unattended_, console_ != nullptr);
    auto* observer = dynamic_cast<StepObserver*>(screen_.get());
    int status = kExitError;
    if (auto* loop = dynamic_cast<WindowLoop*>(screen_.get())) {
      WorkerDisplay worker(*screen_, observer, *loop);
      status = worker.Run([&] { return Run(worker, &worker); });
    } else {
      status = Run(*screen_, observer);
    }
    stop_.Finished();
    // A stopped run has written its log and report and ended its session: the process ends
    // at once, as the operator or the system asked, without taking the window down first.
    if (status == kExitClosed) std::_Exit(status);
    return status;
  }

 private:
  // The run on `screen`, from the start-up to its end, with the steps shown to `observer`.
  int Run(kalu::Display& screen, kalu::StepObserver* observer) {
    // A console display answers by itself when nobody is there; a window is told to.
    kalu::LoggedDisplay display(screen, log_, stop_, unattended_ && !console_);
    kalu::Context ctx{display, session_, clock_, log_};
    ctx_ = &ctx;
    if (observer) ctx.steps.SetObserver(observer);
    session_.Library().SetNoteSink([this](std::string_view note) { log_.Line(note); });
    TellWhereTheLogIs();
    // Outside the store's folder nothing of the store is read: the operator is told at once.
    if (const std::string refusal = NotAStoreFolder(); !refusal.empty()) {
      return EndWithError({std::nullopt, refusal});
    }
    try {
      Upgrade();
    } catch (const kalu::RunStopped& e) {
      return EndStopped(e.Reason());
    } catch (const kalu::RuntimeError& e) {
      return EndWithError(
          {e.Number(), "Error " + std::to_string(e.Number()) + ": " + e.Description()});
    } catch (const kalu::WayBackRefused& e) {
      return EndWithError({std::nullopt, e.what()});
    } catch (const kalu::RunRefused& e) {
      return EndWithError({std::nullopt, e.what()});
    } catch (const std::exception& e) {
      // Nothing of the system raises these; a failure of the machine (memory) ends the run
      // as an error all the same.
      return EndWithError({std::nullopt, std::string("Error: ") + e.what()});
    }
    if (storeCopy_) MarkRunFinished(session_, *storeCopy_, log_);
    if (ctx.steps.AnyFailed()) {
      WriteReport(kExitFailedSteps, std::nullopt);
      log_.Line("Fin: terminada con pasos fallidos (estado 4)");
      return kExitFailedSteps;
    }
    WriteReport(kExitFinished, std::nullopt);
    log_.Line("Fin: actualización terminada (estado 0)");
    return kExitFinished;
  }

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
    const Attendance attendance = ProgramAttendance();
#ifdef KALU_WITH_WIN32
    if (!opts_.console && !opts_.unattended && attendance != Attendance::OutOfSight) {
      screen_ = CreateWin32Display([this] { WindowClosed(); }, [this] { SessionEnding(); });
    }
#endif
    if (screen_) {
      unattended_ = attendance != Attendance::Present;
      log_.Line(unattended_ ? "Pantalla: ventana, desatendida" : "Pantalla: ventana");
      return;
    }
    EnsureConsole();
    bool attended = !opts_.unattended && attendance == Attendance::Present && IsTerminal(stdin);
    unattended_ = !attended;
    auto console = std::make_unique<ConsoleDisplay>(stdout, attended ? stdin : nullptr,
                                                    IsTerminal(stdout), &stop_);
    console_ = console.get();
    screen_ = std::move(console);
    log_.Line(attended ? "Pantalla: terminal" : "Pantalla: terminal, desatendida");
  }

  // The operator learns where the log is when the working folder could not take it: a line
  // on the terminal, a message in the window, and a notice of the run's summary.
  void TellWhereTheLogIs() {
    if (log_.Notice().empty()) return;
    ctx_->steps.Notice(log_.Notice());
    // Through the run's display: from the run's thread, and answered at once when nobody
    // is there to answer it.
    if (!console_) ctx_->display.ShowMessage(log_.Notice());
  }

  // The driver's run between the start-up and the shutdown of the process context, with the
  // row counts before and after it.
  void Upgrade() {
    using namespace kalu;
    Context& ctx = *ctx_;
    StartUp(ctx, programPath_, LoginName());
    AdjustRunCounter(ctx, 1);
    ctx.onUpgradeStart = [&] {
      TakeRunLock();
      KeepStoreAsItWas();
      summary_.CountBefore(ctx);
    };
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

  // The copy of the store comes before anything changes it, and before the run's own
  // session connects to the store (a database in use cannot be copied).
  void KeepStoreAsItWas() {
    using namespace kalu;
    Context& ctx = *ctx_;
    ctx.steps.Begin(StepId::Backup);
    storeCopy_ =
        kalu::KeepStoreAsItWas(session_, opts_.noBackup, log_, [&] { ctx.display.PumpMessages(); });
    ctx.steps.SetDetail(storeCopy_->Text());
    ctx.steps.End();
  }

  // One run at a time on the store, before the copy and before anything changes: on this
  // machine (whatever the user or session), and on the store database from any machine.
  void TakeRunLock() {
    using namespace kalu;
    const std::string store = session_.Database();
    machineMark_.emplace(WorkingFolder());
    if (!machineMark_->Taken()) {
      throw RunRefused(RunningElsewhereText(store, "en este equipo"));
    }
    runLock_.emplace(store, session_.FileDsn());
    runLock_->Take();
  }

  // Asks the run to stop at its next safe point (from the window's thread or the watch of
  // interruptions): a statement the server is running (waiting for a lock, say) is
  // canceled, so that the point comes soon.
  void RequestStop(kalu::StopReason reason) {
    stop_.Request(reason);
    // False when no statement runs: the next safe point then comes by itself.
    (void)session_.Library().CancelRunning();
  }

  // The operator closed the window.
  void WindowClosed() {
    RequestStop(kalu::StopReason::WindowClosed);
  }

  // Windows ends the session (on the window's thread): the process ends once the run has
  // stopped, or when the system's patience is up.
  void SessionEnding() {
    RequestStop(kalu::StopReason::Interrupted);
    stop_.WaitFinished(kEndSessionPatience);
  }

  // The run stopped at a safe point because the window was closed or the program was
  // interrupted: what was committed stays, the session ends, and the report says so.
  int EndStopped(kalu::StopReason reason) {
    const bool closed = reason == kalu::StopReason::WindowClosed;
    ctx_->steps.Fail(closed ? "El operador cerró la ventana" : "Corrida interrumpida");
    WriteReport(kExitClosed, std::nullopt);
    kalu::CloseMainWindow(*ctx_);
    log_.Line(closed ? "Fin: el operador cerró la ventana (estado 3)"
                     : "Fin: corrida interrumpida (estado 3)");
    return kExitClosed;
  }

  // Shows and logs the error that ended the run, without the shutdown steps.
  int EndWithError(const kalu::RunError& error) {
    // A statement canceled for a stop request fails too: the run then ends as stopped.
    if (stop_.Requested()) return EndStopped(stop_.Reason());
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
    const nlohmann::json backup = storeCopy_ ? storeCopy_->Json() : nlohmann::json(nullptr);
    const Status written = WriteJsonFile(
        opts_.report,
        report_.Document(ctx_->steps, summary_, ctx_->droppedViews, key, backup, status, error));
    if (written.ok()) {
      log_.Line("Informe de la corrida: " + opts_.report);
    } else {
      log_.Line("No se pudo escribir el informe " + opts_.report + ": " + written.text());
      WriteText(stderr, "kalu-upgrade: no se pudo escribir el informe " + opts_.report + ": " +
                            written.text() + "\n");
    }
  }

  const Options& opts_;
  const std::string programPath_;
  kalu::RunReport report_;
  kalu::RunLog log_;
  kalu::Session session_;
  kalu::SystemClock clock_;
  kalu::StopRequest stop_;
  std::optional<kalu::MachineRunMark> machineMark_;
  std::optional<kalu::RunLock> runLock_;
  std::unique_ptr<kalu::Display> screen_;
  kalu::ConsoleDisplay* console_ = nullptr;
  bool unattended_ = false;       // nobody answers the messages
  kalu::Context* ctx_ = nullptr;  // while Execute runs
  kalu::RunSummary summary_;
  std::optional<kalu::AZT903114> driver_;
  std::optional<kalu::RunCopy> storeCopy_;  // what keeps the store as it was, once made
};

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  if (std::optional<int> status = ParseOptions(kalu::ProgramArguments(argc, argv), opts)) {
    return *status;
  }
  if (opts.check) return RunStoreCheck(opts);
  if (opts.Commands() == 1) return RunWayBack(opts);
  return UpgradeRun(opts, argv[0]).Execute(argc, argv);
}
