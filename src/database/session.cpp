#include "database/session.h"

#include <cassert>

#include "database/lock_holders.h"
#include "database/sql_text.h"
#include "runtime/text.h"

namespace kalu {

namespace {
constexpr const char* kConnName = "Default";
constexpr const char* kUser = "zovizazir";
constexpr const char* kPassword = "t29r$HHvb";
constexpr const char* kSavepoint = "zq_ddl";

// The first word of a statement, in capitals: "CREATE" for "create table ...".
std::string FirstWord(std::string_view sql) {
  std::string first = ToUpper(Trim(sql));
  return first.substr(0, first.find_first_of(" \t\r\n("));
}

bool IsSchemaChange(std::string_view sql) {
  const std::string first = FirstWord(sql);
  return first == "CREATE" || first == "ALTER" || first == "DROP";
}

// Whether a rejected schema change `sql` failed only because its effect is in place.
bool AlreadyInPlace(std::string_view sql, const std::string& sqlstate) {
  const bool created = sqlstate == "42701" || sqlstate == "42P07" || sqlstate == "42710";
  const bool dropped = FirstWord(sql) == "DROP" && (sqlstate == "42P01" || sqlstate == "42704");
  return created || dropped;
}
}  // namespace

Session::Session(std::string connectionData, std::string fileDsn)
    : connectionData_(std::move(connectionData)), fileDsn_(std::move(fileDsn)) {}

void Session::Initialize() {
  if (initialized_) return;
  int16_t one = 1;
  int16_t status = lib_.ZQ_DB_Init(one);
  handle_ = -1;
  if (status != 0) Raise(kErrInitFailed, "Unable to initialize C/S DLL");
  initialized_ = true;
}

void Session::EnsureConnected() {
  Initialize();
  if (connected_) return;
  ConfigCheck(lib_.ZQ_DB_Declare_Conn(kConnName, 1));
  ConfigCheck(lib_.ZQ_DB_ConnSetFileDSName(kConnName, fileDsn_));
  ConfigCheck(lib_.ZQ_DB_ConnSetPrompt(kConnName, 3));
  ConfigCheck(lib_.ZQ_DB_ConnSetIsolation(kConnName, 2));
  ConfigCheck(lib_.ZQ_DB_ConnSetConnData(kConnName, connectionData_));
  ConfigCheck(lib_.ZQ_DB_ConnSetTrnInt(kConnName, 1));
  ConfigCheck(lib_.ZQ_DB_ConnSetUserId(kConnName, kUser));
  ConfigCheck(lib_.ZQ_DB_ConnSetPassword(kConnName, kPassword));
  Require(lib_.ZQ_DB_Connect(kConnName, handle_));
  Require(lib_.ZQ_DB_ExecBatch(handle_, "BEGIN"));
  connected_ = true;
}

void Session::End() {
  if (initialized_) lib_.ZQ_DB_End();
  initialized_ = false;
  connected_ = false;
  handle_ = -1;
  unflushedCommits_ = false;
  writesBehind_ = false;
  statements_.clear();
  cutNoted_.clear();
}

bool Session::Require(int16_t status) {
  if (status == kDbOk) return true;
  if (status == kDbNoRows) return false;
  Fail(status);
}

void Session::Fail(int16_t status) {
  // The library's failure: its native code and texts when it has them (status 1), the
  // status itself otherwise.
  int32_t native = 0;
  std::string text;
  if (status == kDbError) {
    native = 1;
    std::string text1, text2;
    lib_.ZQ_DB_GetFirstConnError(handle_, text1, text2, native);
    text = text1 + "\r\n" + Trim(text2) + "\r\n" + "Native Code: " + std::to_string(native);
  } else {
    native = status;
  }
  if (native == -1 || native == 110) {
    text = ToLower(text);
    if (status != kDbError) native = 0;
  }
  std::string fatal = FatalText(native, text);
  // A lock not granted in time: the operator learns who holds it, read while it is held.
  if (text.rfind("SQLSTATE 55P03", 0) == 0) {
    fatal += "\r\n" + LockTimeoutText(connectionData_, fileDsn_, lib_.BackendPid());
  }
  std::string sqlstate = status == kDbError ? lib_.LastSqlState() : std::string();
  End();
  throw DatabaseError(native, std::move(sqlstate), std::move(text), std::move(fatal));
}

std::string Session::FatalText(int32_t nativeCode, const std::string& errorText) {
  std::string native = (nativeCode >= 0 ? " " : "") + std::to_string(nativeCode);
  const std::string module;  // never set
  return "Error code: " + native + " in " + module + " Text is: '" + errorText + "'.";
}

void Session::ConfigCheck(int16_t status) {
  if (status == 0) return;
  End();
  Raise(kErrFatalDatabase, "CS / Error # " + std::to_string(status) + " Module ");
}

void Session::Execute(std::string_view app, std::string_view sql) {
  EnsureConnected();
  if (!IsSchemaChange(sql)) {
    Require(lib_.ZQ_DB_ExecImm(handle_, app, sql));
    return;
  }
  Transaction change(*this);
  const int16_t status = lib_.ZQ_DB_ExecImm(handle_, app, sql);
  if (status == kDbOk) return change.Commit();
  // Without the server's SQLSTATE the connection is gone, and the savepoint with it. The
  // rollback leaves the failure's texts to Require.
  const std::string sqlstate = lib_.LastSqlState();
  if (sqlstate.empty()) Require(status);
  change.Rollback();
  if (!AlreadyInPlace(sql, sqlstate)) Require(status);
}

void Session::ExecuteBatch(std::string_view sql) {
  EnsureConnected();
  Require(lib_.ZQ_DB_ExecBatch(handle_, sql));
}

void Session::ExecuteAlone(std::string_view sql, const std::function<void()>& waiting) {
  EnsureConnected();
  Require(lib_.ZQ_DB_ExecBatch(handle_, "COMMIT"));
  // The statement's failure stays the library's error through the BEGIN that succeeds.
  const int16_t status = lib_.ZQ_DB_ExecBatch(handle_, sql, waiting);
  Require(lib_.ZQ_DB_ExecBatch(handle_, "BEGIN"));
  Require(status);
}

void Session::CopyIn(std::string_view copySql, std::string_view data) {
  EnsureConnected();
  Require(lib_.ZQ_DB_CopyIn(handle_, copySql, data));
}

void Session::Analyze(std::span<const char* const> tables) {
  constexpr std::string_view kApp = "ZQSTATS";
  // One statement a table: PostgreSQL 10 analyses one table per statement. A table name is
  // a word, so it needs no quoting; to_regclass passes over a table the store lacks.
  for (const char* table : tables) {
    std::string name(table);
    Execute(kApp, "DO $$BEGIN IF to_regclass('" + name + "') IS NOT NULL THEN ANALYZE " + name +
                      "; END IF; END$$");
  }
}

void Session::Commit() {
  if (handle_ == -1) return;
  // After commits that did not wait, this one must reach the disk with them: a transaction
  // without a transaction id would commit without writing anything, so it takes one. The
  // next transaction starts in the same round trip.
  const bool takesId = unflushedCommits_ && !lib_.TransactionFailed();
  Require(lib_.ZQ_DB_ExecBatch(handle_,
                               takesId ? "SELECT txid_current(); COMMIT; BEGIN" : "COMMIT; BEGIN"));
  unflushedCommits_ = false;
}

void Session::CommitAsync() {
  if (handle_ == -1) return;
  // A failed transaction takes no setting: its COMMIT alone reports the rollback, as the
  // waiting commit does.
  if (lib_.TransactionFailed()) return Commit();
  Require(lib_.ZQ_DB_ExecBatch(handle_, "SET LOCAL synchronous_commit TO OFF; COMMIT; BEGIN"));
  unflushedCommits_ = true;
}

void Session::ExecuteStatement(int16_t stmt) {
  if (!writesBehind_) {
    Require(lib_.ZQ_DB_StmtExecute(stmt));
    return;
  }
  // Every so many statements their results come back in one exchange, so that neither
  // side waits on a full socket.
  constexpr int kSentPerRead = 256;
  Require(lib_.ZQ_DB_StmtSend(stmt));
  if (lib_.SentUnread() >= kSentPerRead) Require(lib_.ZQ_DB_ReadSent());
}

int16_t Session::Statement(std::string_view app, std::string_view id, std::string_view sql,
                           int16_t flag) {
  EnsureConnected();
  int16_t stmt = -1;
  if (lib_.ZQ_DB_StmtIsDef(handle_, id, stmt)) {
#ifndef NDEBUG
    auto declared = statements_.find(id);
    assert(declared == statements_.end() || declared->second == sql);
#endif
    return stmt;
  }
  Require(lib_.ZQ_DB_Declare_StmtEx(handle_, app, id, "", flag, stmt));
  Require(lib_.ZQ_DB_Set_StmtCmdText(stmt, sql));
#ifndef NDEBUG
  statements_.emplace(id, sql);
#endif
  return stmt;
}

std::string Session::CutParameter(std::string_view app, std::string_view cursor, int parameter,
                                  std::string_view value, int width) {
  bool cut = false;
  std::string text = CutText(value, width, &cut);
  if (cut && cutNoted_.emplace(std::string(cursor), parameter).second) {
    lib_.Note(CutNote(app, cursor, parameter, width));
  }
  return text;
}

Transaction::Transaction(Session& session) : session_(session) {
  session_.ExecuteBatch(std::string("SAVEPOINT ") + kSavepoint);
}

Transaction::~Transaction() {
  if (!open_ || !session_.IsConnected()) return;
  // Nothing can be raised from here: a rollback that fails leaves the transaction failed,
  // and its commit reports it.
  (void)session_.Library().ZQ_DB_ExecBatch(
      session_.Handle(),
      std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint + "; RELEASE SAVEPOINT " + kSavepoint);
}

void Transaction::Commit() {
  open_ = false;
  session_.ExecuteBatch(std::string("RELEASE SAVEPOINT ") + kSavepoint);
}

void Transaction::Rollback() {
  open_ = false;
  // Rolling back keeps the savepoint: it is released too, so none piles up until the commit.
  session_.ExecuteBatch(std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint +
                        "; RELEASE SAVEPOINT " + kSavepoint);
}

}  // namespace kalu
