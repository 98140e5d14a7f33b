#pragma once
// The store database as a whole, seen from the maintenance database "postgres" with the
// store's own credentials (".\Kalu.dsn" and the system's user): the sessions connected to
// it, the copies kept of it before a run, the failed databases a rollback sets aside, and
// the rollback itself.
//
//   StoreCopies copies("kalu");
//   KeptDatabase copy = copies.MakeCopy("24.03.20", std::chrono::system_clock::now());
//   ...
//   copies.Restore(copy, std::chrono::system_clock::now());  // kalu is the copy again
//
// - A copy is PostgreSQL's own file-level copy, CREATE DATABASE <copy> TEMPLATE <store>,
//   named "<store>_antes_<release>_<moment>" ("kalu_antes_24_03_20_20261207_221005"); the
//   database-level grants of the store go with it.
// - What the program knows of a copy is written in the copy's own comment, which belongs
//   to the copy and never travels with a template:
//     "kalu-upgrade copia; de=16384; version=24.03.20; hecha=2026-12-07T04:10:05.123456Z;
//      corrida=pendiente"
//   "de" is the oid of the store database it was made of (a rename keeps it; a database
//   made anew has another), "hecha" the moment in UTC, "corrida" whether the run it was
//   made for has finished. A copy without that comment was left by a run killed while it
//   copied: it is listed as incomplete, and nothing restores it or counts on it.
// - A rollback renames the store to "<store>_fallida_<moment>" and the copy to the store's
//   name in one transaction, with their comments: a kill at any moment leaves both
//   databases as they were or both renamed. The failed database's comment names the copy:
//     "kalu-upgrade fallida; apartada=2026-12-07T05:00:00.000000Z;
//      copia=kalu_antes_24_03_20_20261207_221005; hecha=2026-12-07T04:10:05.123456Z"
//
// Every statement works on PostgreSQL 10 to 18. A database failure raises the fatal
// database error 1060 through the maintenance session, as every statement of the program
// does; the caller tells the operator what it means.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/session.h"

namespace kalu {

using Moment = std::chrono::system_clock::time_point;

// A session connected to a database, as pg_stat_activity shows it to the store's role:
// what another role's session does is hidden unless the role may read all statistics.
struct DatabaseSession {
  int32_t pid = 0;
  std::string user;         // empty when the server does not say
  std::string application;  // application_name, empty when none was set
  std::string client;       // client address; empty for a local socket or when hidden
  std::string since;        // connection moment "2026-12-07 22:01:03" in the server's time
                            // zone; empty when hidden
};

// The store as a run of the program left it, so that the business done afterwards can be
// told from the run's own work: the transaction id taken right after the run's last commit
// (every row the program wrote has an older one; the server's own work, autovacuum and
// ANALYZE, writes no row of the store's tables) and the rows of each table then.
struct RunEndMark {
  uint64_t xid = 0;
  std::vector<std::pair<uint32_t, int64_t>> rows;  // each table's oid and rows
};

// A table of the store written since a run ended: about how many rows were inserted,
// changed or removed since then.
struct LaterChange {
  std::string table;
  int64_t rows = 0;
};

enum class KeptKind {
  Copy,        // a copy of the store made before a run
  Failed,      // a store database set aside by a rollback
  Incomplete,  // a copy without the program's comment: its run was killed while it copied
};

struct KeptDatabase {
  std::string name;
  KeptKind kind = KeptKind::Incomplete;
  int64_t bytes = -1;  // pg_database_size; -1 when the role may not measure it
  // Copy: when it was made. Failed: when it was set aside. Empty when unknown.
  std::optional<Moment> moment;
  uint32_t sourceOid = 0;            // copy: the oid of the store database it was made of
  std::string release;               // copy: the release whose run it was made before
  bool runFinished = false;          // copy: the run it was made for has finished
  std::optional<RunEndMark> runEnd;  // copy: the store as the last run of its release left it
  // copy: what had changed in the store between the release's first run and a later one,
  // which a rollback to this copy would set aside as well.
  std::vector<LaterChange> earlier;
  std::string copy;                  // failed: the copy restored in its place
  std::optional<Moment> copyMoment;  // failed: when that copy was made
};

// What the store's role may do with the store database.
struct StoreRights {
  std::string user;   // the store's role
  std::string owner;  // the owner of the store database
  bool superuser = false;
  bool createDb = false;     // CREATEDB
  bool ownerRights = false;  // the role is the owner or has its privileges
  bool isTemplate = false;   // the store database is marked as a template
  // CREATE DATABASE ... TEMPLATE <store>: CREATEDB, and the owner's rights unless the
  // store is marked as a template.
  bool CanCopy() const { return superuser || (createDb && (ownerRights || isTemplate)); }
  // ALTER DATABASE <store> RENAME: CREATEDB and the owner's rights.
  bool CanRename() const { return superuser || (createDb && ownerRights); }
};

// Where the server keeps the store's files, when that can be told from here.
struct StoreFiles {
  bool serverLocal = false;  // the server runs on this machine (Unix socket or loopback)
  std::string directory;     // the data directory or the tablespace's; empty when hidden
  int32_t port = 0;          // the port the server listens on
};

class StoreCopies {
 public:
  static constexpr const char* kMaintenanceDatabase = "postgres";
  static constexpr const char* kCopyInfix = "_antes_";
  static constexpr const char* kFailedInfix = "_fallida_";

  // The copies of the database `store`, through the data source `fileDsn`.
  explicit StoreCopies(std::string store, std::string fileDsn = Session::kFileDsn);
  StoreCopies(const StoreCopies&) = delete;
  StoreCopies& operator=(const StoreCopies&) = delete;

  const std::string& Store() const { return store_; }
  // Opens the maintenance session (the fatal database error when it cannot).
  void Connect();
  // Closes the maintenance session.
  void End() { session_.End(); }

  // The store database's oid, or 0 when there is none.
  uint32_t StoreOid();
  int64_t StoreBytes();
  StoreRights Rights();
  StoreFiles Files();

  // The sessions connected to `database` (the store when empty), but this one and the
  // server's own workers. Each call sees the sessions as they are at that moment.
  std::vector<DatabaseSession> Sessions(const std::string& database = "");
  // Waits, `patience` at most, until no session of this program (by its application name)
  // other than this one and `besides` is connected to the store or runs a statement on the
  // maintenance database: a run killed a moment ago may still have its last statement
  // running on the server. Returns whether they ended.
  bool WaitForOwnSessions(std::chrono::milliseconds patience, int32_t besides = 0);

  // The copies and failed databases of the store, in the order they were made.
  std::vector<KeptDatabase> Kept();
  // The copy that keeps the store as it was before its newest upgrade: of the copies made
  // of the store database as it is now (same oid), the first one of the newest release.
  std::optional<KeptDatabase> NewestCopyOfStore();

  // The store as it is now, at the end of a run.
  RunEndMark MarkStore();
  // The store's tables written since `mark`, with about how many rows; a table dropped
  // since counts all the rows it had.
  std::vector<LaterChange> ChangesSince(const RunEndMark& mark);

  // Copies the store as "<store>_antes_<release>_<moment>" with its comment (run
  // pending), calling `waiting` while the server copies. A copy that fails half-way is
  // dropped again; the store is never touched.
  KeptDatabase MakeCopy(std::string_view release, Moment now,
                        const std::function<void()>& waiting = {});
  // Writes what the program knows of `copy` in its comment.
  void Record(const KeptDatabase& copy);
  // Writes in the copy's comment that its run has finished, leaving the store as `end`
  // says, and what had changed in the store before the run (`copy.earlier`).
  void MarkRunFinished(const KeptDatabase& copy, const RunEndMark& end);
  // Sets the store aside as "<store>_fallida_<moment>" and gives the copy the store's
  // name, in one transaction; the store's own comment goes with the name. Returns the
  // failed database's name.
  std::string Restore(const KeptDatabase& copy, Moment now);
  // Drops a copy or a failed database.
  void Drop(const KeptDatabase& kept);

 private:
  // A database's oid (0 when there is none), size (-1 when it cannot be measured) and
  // comment.
  struct DatabaseFacts {
    uint32_t oid = 0;
    int64_t bytes = -1;
    std::string comment;
  };
  DatabaseFacts Facts(const std::string& database);
  // The first name free of `base`, `base`_2, `base`_3, ...
  std::string FreeName(const std::string& base);
  // Each table of the store with its rows, and with those written since `mark` (none
  // without one); with the next transaction id, or without a mark a transaction id newer
  // than every one committed.
  struct TableRows {
    uint32_t oid = 0;
    std::string name;  // as the operator reads it: schema-qualified when not public
    std::string from;  // as SQL names it
    int64_t rows = 0;
    int64_t later = 0;
  };
  struct StoreRows {
    uint64_t xid = 0;
    std::vector<TableRows> tables;
  };
  StoreRows CountStoreRows(const RunEndMark* mark);

  Session session_;
  std::string store_;
};

// "kalu_antes_24_03_20_20261207_221005": the name of a copy made at `now` (local time).
std::string CopyName(std::string_view store, std::string_view release, Moment now);
// "kalu_fallida_20261207_230512".
std::string FailedName(std::string_view store, Moment now);

// The comment of a copy and of a failed database, and what they tell back; a comment the
// program did not write gives an incomplete copy (or a failed database without its copy).
std::string CopyComment(const KeptDatabase& copy);
std::string FailedComment(const KeptDatabase& copy, Moment setAside);
KeptDatabase ReadComment(std::string name, KeptKind kindByName, std::string_view comment);

// "2026-12-07T04:10:05.123456Z" and back (empty when the text is not such a moment).
std::string UtcText(Moment moment);
std::optional<Moment> FromUtcText(std::string_view text);
// "2026-12-07 22:10:05": the moment in local time, as the operator reads it.
std::string LocalText(Moment moment);

// An identifier and a text as SQL literals.
std::string QuotedName(std::string_view name);
std::string QuotedText(std::string_view text);

}  // namespace kalu
