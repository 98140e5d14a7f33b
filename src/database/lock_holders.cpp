#include "database/lock_holders.h"

#include <vector>

#include "database/cursor.h"
#include "database/session.h"
#include "runtime/errors.h"

namespace kalu {

namespace {

constexpr const char* kApp = "KALUBLOQUEOS";
// The sessions but this one and the run's that hold a granted lock on a table of this
// database inside a transaction, oldest transaction first.
constexpr const char* kHoldersSql =
    "SELECT a.pid, coalesce(a.application_name, ''), coalesce(host(a.client_addr), ''), "
    "coalesce(to_char(a.xact_start, 'YYYY-MM-DD HH24:MI:SS'), '') FROM pg_stat_activity a "
    "WHERE a.pid <> pg_backend_pid() AND a.pid <> ? AND a.xact_start IS NOT NULL AND EXISTS "
    "(SELECT 1 FROM pg_locks l JOIN pg_database d ON d.oid = l.database WHERE l.pid = a.pid "
    "AND l.granted AND l.locktype = 'relation' AND d.datname = current_database()) "
    "ORDER BY a.xact_start, a.pid";

std::string Holder(const std::string& application, const std::string& client,
                   const std::string& since, int32_t pid) {
  return (application.empty() ? std::string("sesión sin nombre de programa") : application) +
         (client.empty() ? " (conexión local" : " (desde " + client) +
         (since.empty() ? "" : ", con la transacción abierta desde " + since) + ", pid " +
         std::to_string(pid) + ")";
}

}  // namespace

std::string LockTimeoutText(const std::string& connectionData, const std::string& fileDsn,
                            int32_t runPid) {
  std::vector<std::string> holders;
  bool read = true;
  try {
    Session watcher(connectionData, fileDsn);
    watcher.EnsureConnected();
    {
      Cursor list(watcher, kApp, "KBLQ01", kHoldersSql, CursorKind::Read);
      list.SetInt32(1, runPid);
      for (bool row = list.FetchFirst(); row; row = list.FetchNext()) {
        holders.push_back(Holder(list.Text(2), list.Text(3), list.Text(4), list.Int32(1)));
      }
    }
    watcher.End();
  } catch (const RuntimeError&) {
    read = false;
  }
  std::string text =
      "Otra sesión tiene ocupada una tabla que la actualización necesita y no "
      "la soltó en " +
      std::to_string(kLockTimeoutSeconds) + " segundos.";
  if (!holders.empty()) {
    text += "\r\nLa tienen ocupada: ";
    for (size_t i = 0; i < holders.size(); ++i) text += (i ? "; " : "") + holders[i];
    text += ".";
  } else if (!read) {
    text += "\r\nNo se pudo saber qué sesión la tiene ocupada.";
  }
  text +=
      "\r\nCierre esa sesión (o el programa que la abrió) y vuelva a correr kalu-upgrade. La "
      "corrida terminó con estado 1.";
  return text;
}

}  // namespace kalu
