#include "database/run_lock.h"

#include "database/cursor.h"
#include "database/store_copies.h"

namespace kalu {

namespace {

constexpr const char* kApp = "KALUCORRIDA";
constexpr int kNameWidth = 63;  // a PostgreSQL identifier
// A store database that is not there takes no lock: the run fails on its own connection.
constexpr const char* kTakeSql =
    "SELECT pg_try_advisory_lock((?::int8 << 32) | d.oid::int8) FROM pg_database d "
    "WHERE d.datname = ?";
// The session holding the lock (a bigint key shows as classid, objid and objsubid 1).
constexpr const char* kHolderSql =
    "SELECT coalesce(host(a.client_addr), ''), coalesce(to_char(a.backend_start, "
    "'YYYY-MM-DD HH24:MI:SS'), '') FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
    "JOIN pg_database d ON l.objid = d.oid WHERE l.locktype = 'advisory' AND l.granted AND "
    "l.objsubid = 1 AND l.classid = ?::int8 AND d.datname = ?";

}  // namespace

std::string RunningElsewhereText(const std::string& store, const std::string& where) {
  return "No se actualiza la base " + store + ": ya hay una corrida en curso" +
         (where.empty() ? "" : " " + where) +
         ". Espere a que termine; esta corrida no cambió nada y termina con estado 1.";
}

RunLock::RunLock(std::string store, std::string fileDsn)
    : session_(std::string(";Database=") + StoreCopies::kMaintenanceDatabase + ";Readonly=No;",
               std::move(fileDsn)),
      store_(std::move(store)) {}

void RunLock::Take() {
  session_.EnsureConnected();
  bool taken = true;
  {
    Cursor take(session_, kApp, "KRUN01", kTakeSql, CursorKind::Read);
    take.SetInt32(1, kRunLockKey).SetText(2, store_, kNameWidth);
    if (take.FetchFirst()) taken = take.Text(1) == "t";
  }
  std::string where;
  if (!taken) {
    Cursor holder(session_, kApp, "KRUN02", kHolderSql, CursorKind::Read);
    holder.SetInt32(1, kRunLockKey).SetText(2, store_, kNameWidth);
    if (holder.FetchFirst()) {
      const std::string client = holder.Text(1), since = holder.Text(2);
      where = client.empty() ? "en el servidor de la base" : "desde el equipo " + client;
      if (!since.empty()) where += ", iniciada el " + since;
      where = "(" + where + ")";
    }
  }
  // The lock belongs to the session, not to the transaction: it stays after the commit,
  // and the session waits idle.
  session_.Commit();
  if (!taken) throw RunRefused(RunningElsewhereText(store_, where));
}

}  // namespace kalu
