#pragma once
// The database session: the one connection "Default" to the store database, opened on
// first use from ".\Kalu.dsn", in manual commit: a transaction runs from the connection or
// the last commit to the next commit.
//
// Every call that reaches the server either succeeds or raises DatabaseError, the fatal
// database error 1060 "Error code: <native> in  Text is: '<text>'.", after ending the
// session; nothing catches it but the program entry (and ShowingDatabaseError, which shows
// it to the operator first). A fetch that finds no row ("not found", 101) is no failure.
// A schema change whose effect is in place already is no failure either: the column,
// table or constraint it creates exists (SQLSTATE 42701, 42P07, 42710), or the object it
// drops does not (42P01, 42704 on a DROP).

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "database/data_source.h"
#include "database/zqdata.h"
#include "runtime/errors.h"

namespace kalu {

constexpr int16_t kCodeOk = 0;
constexpr int16_t kCodeNotFound = 101;

// A failure of the database: run-time error 1060 with the fatal text, and what the server
// said for whoever shows it.
class DatabaseError : public RuntimeError {
 public:
  DatabaseError(int32_t nativeCode, std::string sqlstate, std::string errorText,
                std::string description)
      : RuntimeError(kErrFatalDatabase, std::move(description)),
        nativeCode_(nativeCode),
        sqlstate_(std::move(sqlstate)),
        errorText_(std::move(errorText)) {}
  // The SQLSTATE class (42 for 42601), -1 for a connection that failed or was lost.
  int32_t NativeCode() const { return nativeCode_; }
  // "42601"; empty when the server said nothing.
  const std::string& SqlState() const { return sqlstate_; }
  // "SQLSTATE 42601: <message>\r\n<detail>\r\nNative Code: 42".
  const std::string& ErrorText() const { return errorText_; }

 private:
  int32_t nativeCode_;
  std::string sqlstate_;
  std::string errorText_;
};

class Session {
 public:
  static constexpr const char* kConnectionData = ";Database=kalu;Readonly=No;";
  static constexpr const char* kFileDsn = ".\\Kalu.dsn";

  // `connectionData` is laid over the data source; tests name their own database there.
  explicit Session(std::string connectionData = kConnectionData, std::string fileDsn = kFileDsn);

  ZQData& Library() { return lib_; }
  // The database the connection data names ("kalu" for the store's own).
  std::string Database() const {
    return ConnectionDataValue(connectionData_, "Database").value_or("");
  }
  const std::string& FileDsn() const { return fileDsn_; }

  // Initialises the library once; raises 1055 "Unable to initialize C/S DLL".
  void Initialize();
  // Initialises if needed, then opens the connection and its first transaction if it is
  // not open yet. A configuration the library refuses raises 1060 "CS / Error # <status>
  // Module ".
  void EnsureConnected();
  // Ends the library if it was initialised and clears both flags.
  void End();

  // The one way from a library status to the session's outcome: true on success, false
  // for "not found" (no row); any other status ends the session and raises DatabaseError.
  bool Require(int16_t status);

  // Runs one statement at once, connecting first when needed; a schema change runs under
  // a savepoint, so that one whose effect is in place already is passed over.
  void Execute(std::string_view app, std::string_view sql);
  // Runs statements with no rows to read, several separated by ";", in one round trip.
  void ExecuteBatch(std::string_view sql);
  // Runs one statement outside any transaction block, as CREATE DATABASE and DROP DATABASE
  // must run: the open transaction is committed first, and the next one begins after the
  // statement whatever its outcome. While the server works, `waiting` (when given) is
  // called every few hundredths of a second (the window's message pump).
  void ExecuteAlone(std::string_view sql, const std::function<void()>& waiting = {});
  // Sends `data` (COPY text format) to a `COPY ... FROM STDIN` statement.
  void CopyIn(std::string_view copySql, std::string_view data);

  // Gives the planner fresh statistics of `tables` (those the store has; the others are
  // passed over), so that no plan depends on whether the store was analysed since it was
  // restored or loaded.
  void Analyze(std::span<const char* const> tables);

  // Commits and begins the next transaction; nothing when never connected.
  void Commit();
  // A commit that does not wait for the disk (synchronous_commit off for the transaction
  // it ends), for commits inside a procedure: what it wrote survives anything but a crash
  // of the server itself, and the next Commit waits for it too, so that what a finished
  // procedure wrote is durable.
  void CommitAsync();

  // Runs a declared statement with no rows to read; while writes go behind, it is sent
  // without waiting (WritesBehind, database/cursor.h).
  void ExecuteStatement(int16_t stmt);
  // Returns whether writes went behind before the call.
  bool SetWritesBehind(bool on) { return std::exchange(writesBehind_, on); }

  // The statement of cursor `id` on the connection: declared with `sql` on its first use,
  // the same afterwards (a cursor id never stands for two statements).
  int16_t Statement(std::string_view app, std::string_view id, std::string_view sql, int16_t flag);
  // The text a parameter (or batch column) `width` characters wide is sent as, cut as
  // CutText cuts it; the first cut of each parameter of a cursor on the connection is
  // noted in the run log.
  std::string CutParameter(std::string_view app, std::string_view cursor, int parameter,
                           std::string_view value, int width);

  bool IsInitialized() const { return initialized_; }
  bool IsConnected() const { return connected_; }
  int16_t Handle() const { return handle_; }

  // The fatal text for a native code and an error text.
  static std::string FatalText(int32_t nativeCode, const std::string& errorText);

 private:
  // Raises DatabaseError for a failed status after ending the session.
  [[noreturn]] void Fail(int16_t status);
  void ConfigCheck(int16_t status);

  ZQData lib_;
  std::string connectionData_;
  std::string fileDsn_;
  bool initialized_ = false;
  bool connected_ = false;
  int16_t handle_ = -1;
  bool unflushedCommits_ = false;
  bool writesBehind_ = false;  // statements executed go out without waiting  // commits that did
                               // not wait for the disk since the last that did
  std::map<std::string, std::string, std::less<>> statements_;   // cursor id: its statement
  std::set<std::pair<std::string, int>, std::less<>> cutNoted_;  // cursor, parameter
};

// A part of the session's transaction that is undone unless it is committed, as a
// savepoint: the destructor rolls back what was done since it began when Commit() was not
// called (nothing when the session ended meanwhile).
class Transaction {
 public:
  explicit Transaction(Session& session);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();
  // Undoes what was done since it began; the session goes on.
  void Rollback();

 private:
  Session& session_;
  bool open_ = true;
};

}  // namespace kalu
