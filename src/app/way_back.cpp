#include "app/way_back.h"

#include <algorithm>
#include <filesystem>

#include "app/run_report.h"
#include "build_config.h"
#include "platform/json_file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/server_disk.h"
#include "run/steps.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kNoBackupRemedy =
    "o use --no-backup si la cadena respalda la base por otros medios";

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string SizeText(int64_t bytes) {
  return bytes < 0 ? std::string("tamaño desconocido")
                   : MegabytesText(static_cast<uint64_t>(bytes));
}

std::string MomentText(const std::optional<Moment>& moment) {
  return moment ? LocalText(*moment) : std::string("momento desconocido");
}

// "«psql» del usuario zovizazir, socket local, conectada desde 2026-12-07 16:09:01 (pid 812)".
std::string SessionText(const DatabaseSession& s, const std::string& viewer) {
  std::string text =
      s.application.empty() ? "sesión sin nombre de aplicación" : "«" + s.application + "»";
  if (!s.user.empty()) text += " del usuario " + s.user;
  if (s.since.empty()) {
    text += ", dirección y hora no visibles para el usuario " + viewer;
  } else {
    text += s.client.empty() ? ", socket local" : ", desde " + s.client;
    text += ", conectada desde " + s.since;
  }
  return text + " (pid " + std::to_string(s.pid) + ")";
}

std::string SessionsText(const std::vector<DatabaseSession>& sessions, const std::string& viewer,
                         const char* separator) {
  std::string text;
  for (const DatabaseSession& s : sessions) text += separator + SessionText(s, viewer);
  return text;
}

std::string CountText(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "clientes (1 fila), documentos (30 filas)".
std::string ChangesText(const std::vector<LaterChange>& changes) {
  std::string text;
  for (const LaterChange& c : changes) {
    text += (text.empty() ? "" : ", ") + c.table + " (" +
            CountText(static_cast<size_t>(c.rows), "fila", "filas") + ")";
  }
  return text;
}

// The changes of `more` added to those of `changes`, table by table.
void AddChanges(std::vector<LaterChange>& changes, const std::vector<LaterChange>& more) {
  for (const LaterChange& c : more) {
    auto it = std::find_if(changes.begin(), changes.end(),
                           [&](const LaterChange& k) { return k.table == c.table; });
    if (it == changes.end()) {
      changes.push_back(c);
    } else {
      it->rows += c.rows;
    }
  }
}

// What changed in the store since the last run of the release of `copy` ended, with what
// had changed before that run; of a run that did not finish only the latter is known.
std::vector<LaterChange> ChangesAfter(StoreCopies& copies, const KeptDatabase& copy) {
  std::vector<LaterChange> changes = copy.earlier;
  if (copy.runEnd) AddChanges(changes, copies.ChangesSince(*copy.runEnd));
  return changes;
}

// The server and the database the data source names, for the operator to look for.
std::string WhereText(const std::string& store, const std::string& fileDsn) {
  return "la base " + store + " no existe en el servidor " + DataSourceServer(fileDsn) +
         "; revise Kalu.dsn (Servername, Port, Database) en la carpeta de trabajo";
}

// The store's database-level failure as a refusal: what the server said and the remedies.
[[noreturn]] void RefuseCopy(const std::string& store, const std::string& cause,
                             const std::string& remedy) {
  throw WayBackRefused("No se puede hacer la copia de respaldo de la base " + store + ": " + cause +
                       "\nNada se cambió. Remedio: " + remedy + ", " + kNoBackupRemedy + ".");
}

std::string CopyRightsProblem(const StoreRights& rights, const std::string& store,
                              std::string& remedy) {
  if (!rights.createDb) {
    remedy =
        "conceda CREATEDB al usuario " + rights.user + " (ALTER ROLE " + rights.user + " CREATEDB)";
    return "el usuario " + rights.user + " no puede crear bases de datos (le falta CREATEDB)";
  }
  remedy = "haga al usuario " + rights.user + " dueño de la base (ALTER DATABASE " + store +
           " OWNER TO " + rights.user + ")";
  return "la base es del usuario " + rights.owner + " y solo su dueño puede copiarla";
}

// Room for a copy on the server's disk, when it can be told from here.
struct CopyRoom {
  int64_t needed = -1;
  std::optional<uint64_t> available;  // empty: cannot be told
  std::string where;                  // the directory, or why it cannot be told
};

CopyRoom Room(StoreCopies& copies) {
  CopyRoom room;
  room.needed = copies.StoreBytes();
  StoreFiles files = copies.Files();
  // A role that may not read the data directory: the server's service entry names it.
  if (files.serverLocal && files.directory.empty()) {
    files.directory = LocalServerDataFolder(files.port).value_or("");
  }
  if (!files.serverLocal) {
    room.where = "el servidor está en otra máquina";
  } else if (files.directory.empty()) {
    room.where = "el usuario no puede ver la carpeta de datos del servidor";
  } else {
    uint64_t bytes = 0;
    const Status disk = FreeDiskBytes(files.directory, bytes);
    if (disk.ok()) room.available = bytes;
    room.where = disk.ok() ? files.directory : files.directory + ": " + disk.text();
  }
  return room;
}

bool RoomEnough(const CopyRoom& room) {
  return !room.available || room.needed < 0 ||
         *room.available >= static_cast<uint64_t>(room.needed);
}

std::string RoomText(const CopyRoom& room) {
  std::string needs = "la copia necesita " + SizeText(room.needed);
  if (!room.available)
    return "espacio sin comprobar: " + needs + "; no se sabe el espacio libre del servidor (" +
           room.where + ")";
  return needs + " y el disco de la base (" + room.where + ") tiene " +
         MegabytesText(*room.available) + " libres";
}

// Opens the maintenance session; the refusal says what kept it closed.
void Connect(StoreCopies& copies, const std::string& what, const std::string& remedy) {
  try {
    copies.Connect();
  } catch (const RuntimeError& e) {
    throw WayBackRefused(what + ": no hay conexión con la base de mantenimiento " +
                         StoreCopies::kMaintenanceDatabase + " (" + OneLine(e.Description()) +
                         ")\nNada se cambió. Remedio: " + remedy);
  }
}

// Waits for the sessions of a killed run of this program to end; the run log says when
// some did not.
void WaitForOwnSessions(StoreCopies& copies, RunLog& log) {
  if (!copies.WaitForOwnSessions(kOwnSessionsPatience)) {
    log.Line("Sesiones de kalu-upgrade siguen conectadas después de " +
             std::to_string(kOwnSessionsPatience.count()) + " s");
  }
}

// The sessions connected to `database` once those of a killed run of this program ended.
std::vector<DatabaseSession> OthersConnected(StoreCopies& copies, const std::string& database,
                                             RunLog& log) {
  WaitForOwnSessions(copies, log);
  return copies.Sessions(database);
}

nlohmann::json LaterJson(const std::vector<LaterChange>& changes) {
  nlohmann::json list = nlohmann::json::array();
  for (const LaterChange& c : changes) list.push_back({{"table", c.table}, {"rows", c.rows}});
  return list;
}

nlohmann::json KeptJson(const KeptDatabase& kept) {
  return {{"name", kept.name},
          {"size_bytes", kept.bytes < 0 ? nlohmann::json(nullptr) : nlohmann::json(kept.bytes)},
          {"made_at",
           kept.moment ? nlohmann::json(IsoLocalTime(*kept.moment)) : nlohmann::json(nullptr)}};
}

}  // namespace

std::string RunCopy::Text() const {
  switch (status) {
    case Status::Skipped:
      return "sin copia (--no-backup)";
    case Status::Made:
      return copy.name + " (" + SizeText(copy.bytes) + ", " + MomentText(copy.moment) + ")";
    case Status::Covered:
      return "la cubre " + copy.name + " (" + SizeText(copy.bytes) + ", " +
             MomentText(copy.moment) + ")";
  }
  return "";
}

nlohmann::json RunCopy::Json() const {
  static constexpr const char* kStatus[] = {"made", "covered", "none"};
  nlohmann::json doc = {{"status", kStatus[static_cast<int>(status)]}, {"seconds", seconds}};
  if (status == Status::Skipped) {
    doc.update({{"name", nullptr}, {"size_bytes", nullptr}, {"made_at", nullptr}});
  } else {
    doc.update(KeptJson(copy));
  }
  return doc;
}

std::optional<std::string> StoreMissingText(const Session& session) {
  StoreCopies copies(session.Database(), session.FileDsn());
  try {
    copies.Connect();
    if (copies.StoreOid() == 0) return WhereText(session.Database(), session.FileDsn());
  } catch (const RuntimeError&) {
  }
  return std::nullopt;
}

RunCopy KeepStoreAsItWas(Session& session, bool skip, RunLog& log,
                         const std::function<void()>& waiting) {
  RunCopy run;
  const std::string store = session.Database();
  if (skip) {
    log.Line("Respaldo: sin copia de la base " + store + " (--no-backup)");
    return run;
  }
  const auto start = std::chrono::steady_clock::now();
  StoreCopies copies(store, session.FileDsn());
  // A server that cannot be reached, or without the store database, is the run's own fatal
  // error, as its first statement would have met it; the run's session meets it here, and
  // lets the store go again when it does not.
  auto storeUnreachable = [&] {
    session.EnsureConnected();
    session.End();
  };
  try {
    copies.Connect();
  } catch (const RuntimeError&) {
    storeUnreachable();
    Connect(copies, "No se puede hacer la copia de respaldo de la base " + store,
            std::string("permita al usuario conectarse a la base ") +
                StoreCopies::kMaintenanceDatabase + ", " + kNoBackupRemedy + ".");
  }
  if (copies.StoreOid() == 0) {
    throw WayBackRefused("No se puede actualizar la base " + store + ": " +
                         WhereText(store, session.FileDsn()) + ".\nNada se cambió.");
  }
  try {
    WaitForOwnSessions(copies, log);
    if (auto newest = copies.NewestCopyOfStore();
        newest && (!newest->runFinished || newest->release == KALU_VERSION)) {
      run.status = RunCopy::Status::Covered;
      run.copy = std::move(*newest);
      if (run.copy.runFinished) {
        // Run again after its release's upgrade: the business done since goes into the
        // copy's record, for a rollback to tell, and the run is pending until it ends.
        if (run.copy.runEnd) {
          std::vector<LaterChange> since = copies.ChangesSince(*run.copy.runEnd);
          if (!since.empty()) {
            log.Line("Respaldo: la base cambió después de la actualización anterior: " +
                     ChangesText(since));
          }
          AddChanges(run.copy.earlier, since);
        }
        KeptDatabase pending = run.copy;
        pending.runFinished = false;
        pending.runEnd.reset();
        copies.Record(pending);
      }
      run.seconds = SecondsSince(start);
      log.Line("Respaldo: la copia " + run.copy.name + " (hecha el " + MomentText(run.copy.moment) +
               ") cubre esta corrida: " +
               (run.copy.runFinished ? "la actualización a " + run.copy.release + " ya se hizo"
                                     : std::string("la corrida anterior no terminó")) +
               "; no se hace otra copia");
      return run;
    }
    StoreRights rights = copies.Rights();
    if (!rights.CanCopy()) {
      std::string remedy;
      std::string cause = CopyRightsProblem(rights, store, remedy);
      RefuseCopy(store, cause, remedy);
    }
    std::vector<DatabaseSession> sessions = copies.Sessions();
    if (!sessions.empty()) {
      RefuseCopy(store,
                 CountText(sessions.size(), "sesión conectada", "sesiones conectadas") +
                     ", y PostgreSQL no copia una base en uso:" +
                     SessionsText(sessions, rights.user, "\n  - "),
                 "cierre esas sesiones y corra de nuevo el programa");
    }
    CopyRoom room = Room(copies);
    if (!RoomEnough(room)) RefuseCopy(store, RoomText(room), "libere espacio en ese disco");
    log.Line("Respaldo: copiando la base " + store + " (" + SizeText(room.needed) + ")");
    run.copy = copies.MakeCopy(KALU_VERSION, std::chrono::system_clock::now(), waiting);
  } catch (const RuntimeError& e) {
    RefuseCopy(store, OneLine(e.Description()), "corrija la causa y corra de nuevo el programa");
  }
  run.status = RunCopy::Status::Made;
  run.seconds = SecondsSince(start);
  log.Line("Respaldo: copia " + run.copy.name + " de " + SizeText(run.copy.bytes) + " hecha en " +
           SecondsText(run.seconds));
  return run;
}

void MarkRunFinished(const Session& session, const RunCopy& run, RunLog& log) {
  if (run.status == RunCopy::Status::Skipped) return;
  try {
    StoreCopies copies(session.Database(), session.FileDsn());
    copies.MarkRunFinished(run.copy, copies.MarkStore());
    log.Line("Respaldo: la copia " + run.copy.name + " queda como la de una corrida terminada");
  } catch (const RuntimeError& e) {
    log.Line("Respaldo: no se pudo anotar en la copia " + run.copy.name +
             " que la corrida terminó (la próxima corrida no hará otra copia): " +
             OneLine(e.Description()));
  }
}

namespace {

// The rollback's steps; a refusal raises WayBackRefused.
class Rollback {
 public:
  Rollback(std::string store, const RollbackRequest& request, RunLog& log)
      : store_(std::move(store)), request_(request), copies_(store_), log_(log) {}

  void Run() {
    log_.Line("Regreso: inicio");
    Connect(copies_, "No se puede regresar la base " + store_,
            std::string("permita al usuario conectarse a la base ") +
                StoreCopies::kMaintenanceDatabase + ".");
    try {
      FindCopy();
      CheckLaterChanges();
      CheckRights();
      log_.Line("Regreso: revisando las sesiones conectadas");
      CheckSessions(store_);
      CheckSessions(copy_.name);
      log_.Line("Regreso: renombrando " + store_ + " y " + copy_.name);
      failed_ = copies_.Restore(copy_, std::chrono::system_clock::now());
    } catch (const RuntimeError& e) {
      Refuse(OneLine(e.Description()), "corrija la causa y repita --rollback");
    }
    log_.Line("Regreso: terminado");
  }

  std::string Done() const {
    std::string text = "La base " + store_ +
                       " volvió a como estaba antes de la corrida: se restauró la copia " +
                       copy_.name + ", hecha el " + MomentText(copy_.moment) +
                       ". La base que había quedó como " + failed_ + " para revisarla";
    if (!later_.empty()) {
      text += ", con los cambios posteriores a la actualización que se apartaron: " +
              ChangesText(later_);
    }
    return text + "; bórrela con --drop-backup " + failed_ + " cuando ya no la necesite.";
  }
  const KeptDatabase& Copy() const { return copy_; }
  const std::string& Failed() const { return failed_; }
  const std::vector<LaterChange>& Later() const { return later_; }

 private:
  [[noreturn]] void Refuse(const std::string& cause, const std::string& remedy) {
    throw WayBackRefused("No se puede regresar la base " + store_ + ": " + cause +
                         "\nNada se cambió. Remedio: " + remedy + ".");
  }

  // The copy asked for, or the one made before the newest upgrade of the store as it is
  // now; after a rollback the store is that copy, and the copies older than it were made
  // of another database.
  void FindCopy() {
    if (copies_.StoreOid() == 0) {
      throw WayBackRefused("No se puede regresar la base " + store_ + ": " +
                           WhereText(store_, Session::kFileDsn) + ".\nNada se cambió.");
    }
    if (!request_.to.empty()) {
      for (KeptDatabase& kept : copies_.Kept()) {
        if (kept.name == request_.to && kept.kind == KeptKind::Copy) {
          copy_ = std::move(kept);
          return;
        }
      }
      Refuse(request_.to + " no es una copia completa de la base " + store_,
             "elija una copia de --list-backups");
    }
    if (auto newest = copies_.NewestCopyOfStore()) {
      copy_ = std::move(*newest);
      return;
    }
    std::optional<KeptDatabase> lastFailed;
    for (KeptDatabase& kept : copies_.Kept()) {
      if (kept.kind == KeptKind::Failed && !kept.copy.empty()) lastFailed = std::move(kept);
    }
    if (lastFailed) {
      throw WayBackRefused("No hay una copia de la base " + store_ +
                           " más reciente que la ya restaurada: " + lastFailed->copy +
                           " (hecha el " + MomentText(lastFailed->copyMoment) +
                           ") se restauró el " + MomentText(lastFailed->moment) +
                           ", y la base de entonces quedó como " + lastFailed->name +
                           ".\nNada se cambió.");
    }
    throw WayBackRefused("No hay copia de respaldo de la base " + store_ +
                         " para regresarla (vea --list-backups).\nNada se cambió.");
  }

  // The business done after the store's newest upgrade would go aside with the store: only
  // when the request says so.
  void CheckLaterChanges() {
    std::optional<KeptDatabase> upgrade = copies_.NewestCopyOfStore();
    if (!upgrade) return;
    std::vector<LaterChange> later = ChangesAfter(copies_, *upgrade);
    if (later.empty()) return;
    if (!request_.discardLater) {
      Refuse("la base cambió después de la actualización a " + upgrade->release + ": " +
                 ChangesText(later) +
                 " (cantidades aproximadas). Regresarla apartaría esos cambios",
             "si esos cambios deben quedarse, no regrese la base; para regresarla de todos "
             "modos, repita con --rollback --discard-later-changes: la base de ahora, con esos "
             "cambios, quedará aparte como " +
                 store_ + StoreCopies::kFailedInfix + "<momento>");
    }
    later_ = std::move(later);
    log_.Line("Regreso: se apartan los cambios posteriores a la actualización: " +
              ChangesText(later_));
  }

  void CheckRights() {
    StoreRights rights = copies_.Rights();
    user_ = rights.user;
    if (rights.CanRename()) return;
    if (!rights.createDb) {
      Refuse("el usuario " + rights.user + " no puede renombrar bases de datos (le falta CREATEDB)",
             "conceda CREATEDB al usuario " + rights.user + " (ALTER ROLE " + rights.user +
                 " CREATEDB)");
    }
    Refuse("la base es del usuario " + rights.owner + " y solo su dueño puede renombrarla",
           "haga al usuario " + rights.user + " dueño de la base (ALTER DATABASE " + store_ +
               " OWNER TO " + rights.user + ")");
  }

  void CheckSessions(const std::string& database) {
    std::vector<DatabaseSession> sessions = OthersConnected(copies_, database, log_);
    if (sessions.empty()) return;
    Refuse(
        CountText(sessions.size(), "sesión conectada", "sesiones conectadas") + " a " + database +
            ", y PostgreSQL no renombra una base en uso:" + SessionsText(sessions, user_, "\n  - "),
        "cierre esas sesiones y repita --rollback");
  }

  std::string store_;
  const RollbackRequest& request_;
  StoreCopies copies_;
  RunLog& log_;
  KeptDatabase copy_;
  std::vector<LaterChange> later_;
  std::string failed_;
  std::string user_;
};

}  // namespace

int RollBack(const std::string& store, const RollbackRequest& request, std::FILE* out,
             RunLog& log) {
  const std::string& report = request.report;
  const auto started = std::chrono::system_clock::now();
  Rollback rollback(store, request, log);
  std::optional<std::string> error;
  try {
    rollback.Run();
    WriteText(out, rollback.Done() + "\n");
    log.Line(rollback.Done());
  } catch (const WayBackRefused& e) {
    error = e.what();
    WriteText(out, std::string(e.what()) + "\n");
    log.Line(std::string("Regreso: ") + e.what());
  }
  const int status = error ? 1 : 0;
  if (!report.empty()) {
    nlohmann::json doc = {
        {"report", "rollback"},
        {"program", "kalu-upgrade"},
        {"version", KALU_VERSION},
        {"store", store},
        {"started", IsoLocalTime(started)},
        {"ended", IsoLocalTime(std::chrono::system_clock::now())},
        {"exit_status", status},
        {"restored", error ? nlohmann::json(nullptr) : KeptJson(rollback.Copy())},
        {"failed_database", error ? nlohmann::json(nullptr) : nlohmann::json(rollback.Failed())},
        {"later_changes", LaterJson(error ? std::vector<LaterChange>{} : rollback.Later())},
        {"error",
         error ? nlohmann::json{{"number", nullptr}, {"text", *error}} : nlohmann::json(nullptr)}};
    if (Status written = WriteJsonFile(report, doc); !written.ok()) {
      WriteText(stderr, "kalu-upgrade: no se pudo escribir el informe " + report + ": " +
                            written.text() + "\n");
      log.Line("No se pudo escribir el informe " + report + ": " + written.text());
      return 1;
    }
  }
  log.Line("Fin del regreso (estado " + std::to_string(status) + ")");
  return status;
}

namespace {

// What each KeptKind is called, in its order.
constexpr const char* kKindTexts[] = {"copia", "fallida", "incompleta"};

const char* KindText(KeptKind kind) {
  return kKindTexts[static_cast<int>(kind)];
}

// What the newest upgrade of the store left behind, as --list-backups and --check say it:
// whether the store changed after the upgrade.
std::string LaterText(StoreCopies& copies, const KeptDatabase& upgrade) {
  std::vector<LaterChange> later = ChangesAfter(copies, upgrade);
  if (!later.empty()) {
    return "la base cambió después de la actualización: " + ChangesText(later) +
           "; --rollback los apartaría solo con --discard-later-changes";
  }
  return upgrade.runFinished ? "sin cambios después de la actualización"
                             : "sin cambios conocidos después de la actualización";
}

std::string StateText(const KeptDatabase& kept, const std::optional<KeptDatabase>& restorable,
                      const std::string& later) {
  switch (kept.kind) {
    case KeptKind::Copy: {
      std::string text = "antes de " + kept.release +
                         (kept.runFinished ? ", corrida terminada" : ", corrida sin terminar");
      if (restorable && restorable->name == kept.name) {
        text += "; la restaura --rollback; " + later;
      }
      return text;
    }
    case KeptKind::Failed:
      return kept.copy.empty() ? "apartada por un regreso" : "apartada al restaurar " + kept.copy;
    case KeptKind::Incomplete:
      return "copia interrumpida: no se restaura";
  }
  return "";
}

// Lists with the maintenance session, and turns a database failure into a message.
template <typename Work>
int WithCopies(const std::string& store, std::FILE* out, RunLog& log, Work work) {
  StoreCopies copies(store);
  try {
    copies.Connect();
    return work(copies);
  } catch (const RuntimeError& e) {
    std::string text =
        "No se pudo leer las copias de la base " + store + ": " + OneLine(e.Description());
    WriteText(out, text + "\n");
    log.Line(text);
    return 1;
  } catch (const WayBackRefused& e) {
    WriteText(out, std::string(e.what()) + "\n");
    log.Line(e.what());
    return 1;
  }
}

}  // namespace

int ListKept(const std::string& store, std::FILE* out, RunLog& log) {
  return WithCopies(store, out, log, [&](StoreCopies& copies) {
    std::vector<KeptDatabase> kept = copies.Kept();
    if (kept.empty()) {
      WriteText(out, "No hay copias de la base " + store + ".\n");
      return 0;
    }
    std::optional<KeptDatabase> restorable = copies.NewestCopyOfStore();
    const std::string later = restorable ? LaterText(copies, *restorable) : std::string();
    std::size_t width = CharLength("Base");
    for (const KeptDatabase& k : kept) width = std::max(width, CharLength(k.name));
    // Name, kind, size (to the right), moment and state, two blanks apart.
    auto row = [&](const std::string& name, const std::string& kind, const std::string& size,
                   const std::string& moment, const std::string& state) {
      const std::string sizeColumn = std::string(12 - std::min<size_t>(12, CharLength(size)), ' ');
      WriteText(out, PadRight(name, width) + "  " + PadRight(kind, 10) + "  " + sizeColumn + size +
                         "  " + PadRight(moment, 19) + "  " + state + "\n");
    };
    row("Base", "Tipo", "Tamaño", "Momento", "Estado");
    for (const KeptDatabase& k : kept) {
      row(k.name, KindText(k.kind), SizeText(k.bytes), MomentText(k.moment),
          StateText(k, restorable, later));
    }
    return 0;
  });
}

int DropKept(const std::string& store, const std::string& name, std::FILE* out, RunLog& log) {
  return WithCopies(store, out, log, [&](StoreCopies& copies) {
    std::vector<KeptDatabase> kept = copies.Kept();
    auto it = std::find_if(kept.begin(), kept.end(),
                           [&](const KeptDatabase& k) { return k.name == name; });
    if (it == kept.end()) {
      throw WayBackRefused(name + " no es una copia ni una base apartada de la base " + store +
                           " (vea --list-backups). Nada se cambió.");
    }
    std::vector<DatabaseSession> sessions = OthersConnected(copies, name, log);
    if (!sessions.empty()) {
      throw WayBackRefused(
          "No se puede borrar " + name + ": " +
          CountText(sessions.size(), "sesión conectada", "sesiones conectadas") + ":" +
          SessionsText(sessions, copies.Rights().user, "\n  - ") +
          "\nNada se cambió. Remedio: cierre esas sesiones y repita --drop-backup.");
    }
    copies.Drop(*it);
    std::string text = "Se borró " + name + " (" + SizeText(it->bytes) + ").";
    WriteText(out, text + "\n");
    log.Line(text);
    return 0;
  });
}

std::vector<CheckLine> WayBackCheckLines(const Session& session, int32_t checkPid, bool skip,
                                         bool connected) {
  const std::string store = session.Database();
  const char* rightsTitle = "Copia de respaldo: permiso";
  const char* roomTitle = "Copia de respaldo: espacio";
  const char* sessionsTitle = "Sesiones conectadas";
  const char* laterTitle = "Cambios después de la actualización";
  auto line = [](const char* id, const char* title, bool ok, std::string detail) {
    return CheckLine{id, title, ok, std::move(detail), std::nullopt};
  };
  std::vector<CheckLine> lines;
  if (!connected) {
    // Nothing of the store can be told without it; --no-backup needs none of it.
    const std::string why = std::string("sin conexión a la base de datos") +
                            (skip ? "; no se hará copia (--no-backup)" : "");
    for (auto [id, title] :
         {std::pair{"backup_rights", rightsTitle}, std::pair{"backup_space", roomTitle},
          std::pair{"sessions", sessionsTitle}}) {
      lines.push_back(line(id, title, skip, why));
    }
    return lines;
  }
  StoreCopies copies(store, session.FileDsn());
  try {
    copies.Connect();
    StoreRights rights = copies.Rights();
    if (skip) {
      lines.push_back(line("backup_rights", rightsTitle, true, "no se hará copia (--no-backup)"));
    } else if (!rights.CanCopy()) {
      std::string remedy;
      std::string cause = CopyRightsProblem(rights, store, remedy);
      lines.push_back(line("backup_rights", rightsTitle, false,
                           cause + ": " + remedy + ", " + kNoBackupRemedy));
    } else if (!rights.CanRename()) {
      lines.push_back(line("backup_rights", rightsTitle, false,
                           "el usuario " + rights.user +
                               " puede copiar la base, pero --rollback no "
                               "podrá renombrarla: es del usuario " +
                               rights.owner));
    } else {
      lines.push_back(
          line("backup_rights", rightsTitle, true,
               "el usuario " + rights.user + " puede copiar la base " + store + " y renombrarla (" +
                   (rights.superuser ? "superusuario" : "CREATEDB") + ", dueño de la base)"));
    }
    CopyRoom room = Room(copies);
    lines.push_back(line("backup_space", roomTitle, skip || RoomEnough(room), RoomText(room)));
    lines.back().unchecked = !skip && !room.available;
    std::vector<DatabaseSession> sessions = copies.Sessions();
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                  [&](const DatabaseSession& s) { return s.pid == checkPid; }),
                   sessions.end());
    if (sessions.empty()) {
      lines.push_back(line("sessions", sessionsTitle, true, "ninguna otra sesión en " + store));
    } else {
      lines.push_back(line("sessions", sessionsTitle, skip,
                           CountText(sessions.size(), "sesión", "sesiones") + ":" +
                               SessionsText(sessions, rights.user, " ") +
                               (skip ? "" : "; la copia de respaldo no se puede hacer con ellas")));
    }
    // After the sessions: the count opens a session of its own on the store.
    if (std::optional<KeptDatabase> upgrade = copies.NewestCopyOfStore()) {
      lines.push_back(line("later_changes", laterTitle, true,
                           LaterText(copies, *upgrade) + " (copia " + upgrade->name + ")"));
    } else {
      lines.push_back(
          line("later_changes", laterTitle, true, "no hay copia de una actualización de la base"));
    }
  } catch (const RuntimeError& e) {
    const std::string why = "sin conexión con la base de mantenimiento " +
                            std::string(StoreCopies::kMaintenanceDatabase) + ": " +
                            OneLine(e.Description());
    lines.clear();
    lines.push_back(line("backup_rights", rightsTitle, skip, why));
    lines.push_back(line("backup_space", roomTitle, skip, why));
    lines.push_back(line("sessions", sessionsTitle, skip, why));
  }
  return lines;
}

}  // namespace kalu
