#pragma once
// The data-access library: every SQL statement reaches the store database through these
// operations, over libpq. Every call returns a status for the session's database check:
// 0 success, 1 failure with details (ZQ_DB_GetFirstConnError), 100 no (more) rows,
// -1 failure.
//
// - A cursor is a server-side prepared statement named by its cursor id on the
//   connection; "?" markers become $1..$n (never inside quoted literals).
// - A fetch runs the statement and keeps its whole result in memory, so a loop goes on
//   reading rows after a commit.
// - ZQ_DB_ExecImm runs one statement only (extended protocol).
// - Native codes: a rejection gives the SQLSTATE class when it is two digits (42 for
//   42601), else 1, with text 1 "SQLSTATE 42601: <message>" and text 2 the server's
//   detail; a connection that cannot be made or is lost gives native code -1 and libpq's
//   message.
// - Values: parameters are set as their SQL text; a NULL read gives 0, a blank text or an
//   empty date text.
//
// Transactions, statements run under a savepoint and what a rejection means are the
// session's (database/session.h); libpq itself is reached through platform/pg_connection.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kalu {

constexpr int16_t kDbOk = 0;
constexpr int16_t kDbError = 1;
constexpr int16_t kDbNoRows = 100;
constexpr int16_t kDbFailure = -1;

class ZQData {
 public:
  ZQData();
  ~ZQData();
  ZQData(const ZQData&) = delete;
  ZQData& operator=(const ZQData&) = delete;

  int16_t ZQ_DB_Init(int16_t& value);
  int16_t ZQ_DB_End();

  int16_t ZQ_DB_Declare_Conn(std::string_view name, int16_t kind);
  int16_t ZQ_DB_ConnSetFileDSName(std::string_view name, std::string_view fileDsn);
  int16_t ZQ_DB_ConnSetPrompt(std::string_view name, int16_t mode);
  int16_t ZQ_DB_ConnSetIsolation(std::string_view name, int16_t level);
  int16_t ZQ_DB_ConnSetConnData(std::string_view name, std::string_view data);
  int16_t ZQ_DB_ConnSetTrnInt(std::string_view name, int16_t interval);
  int16_t ZQ_DB_ConnSetUserId(std::string_view name, std::string_view user);
  int16_t ZQ_DB_ConnSetPassword(std::string_view name, std::string_view password);
  // Opens the connection; `handle` gets its number (-1 stays on failure).
  int16_t ZQ_DB_Connect(std::string_view name, int16_t& handle);
  // The first error of the last failed call: text 1, text 2 and the native code.
  int16_t ZQ_DB_GetFirstConnError(int16_t handle, std::string& text1, std::string& text2,
                                  int32_t& native);
  // The SQLSTATE of the last failure the server reported (empty for any other failure).
  const std::string& LastSqlState() const;

  int16_t ZQ_DB_ExecImm(int16_t handle, std::string_view app, std::string_view sql);
  // Rows that the last statement run by ZQ_DB_ExecImm inserted, updated or deleted (0 for
  // other statements and after a failure).
  int64_t RowsChanged() const;
  // Runs statements with no parameters and no rows to read, several separated by ";",
  // in one round trip; the first failure stops the rest. A COMMIT that the server answers
  // with ROLLBACK (its transaction failed earlier) is a failure, SQLSTATE 40000. While the
  // server works, `waiting` (when given) is called every few hundredths of a second.
  int16_t ZQ_DB_ExecBatch(int16_t handle, std::string_view sql,
                          const std::function<void()>& waiting = {});
  // Whether the open transaction failed, so that only its rollback can end it.
  bool TransactionFailed() const;
  // Sends `data` (COPY text format: one line per row, values separated by tabs, \N for
  // NULL) to a `COPY ... FROM STDIN` statement.
  int16_t ZQ_DB_CopyIn(int16_t handle, std::string_view copySql, std::string_view data);

  // True (and `stmt` set) when the cursor is declared on the connection.
  bool ZQ_DB_StmtIsDef(int16_t handle, std::string_view cursor, int16_t& stmt);
  // `flag` 1 for INSERT, UPDATE, DELETE, SELECT ... FOR UPDATE.
  int16_t ZQ_DB_Declare_StmtEx(int16_t handle, std::string_view app, std::string_view cursor,
                               std::string_view options, int16_t flag, int16_t& stmt);
  int16_t ZQ_DB_Set_StmtCmdText(int16_t stmt, std::string_view sql);
  // Sets parameter `number` to the SQL text of its value.
  int16_t ZQ_DB_SetParm(int16_t stmt, int16_t number, std::string text);

  int16_t ZQ_DB_StmtExecute(int16_t stmt);
  // Sends a statement with no rows to read in libpq's pipeline mode without waiting for
  // its result: status 0 means "sent". The results come back with ZQ_DB_ReadSent and
  // before any other call of the library, which then reports the first failure among them
  // as its own status; so a read, a commit or any other statement sees every write sent
  // before it.
  int16_t ZQ_DB_StmtSend(int16_t stmt);
  // Statements sent since their results last came back.
  int SentUnread() const;
  // Reads back the results of the statements sent, staying in pipeline mode: the first
  // failure among them is the status.
  int16_t ZQ_DB_ReadSent();
  int16_t ZQ_DB_StmtFetchFirst(int16_t stmt);
  int16_t ZQ_DB_StmtFetchNext(int16_t stmt);
  int16_t ZQ_DB_SetClosable(int16_t stmt);
  // Rows of the result the statement holds (0 when it holds none).
  int64_t ZQ_DB_StmtRowCount(int16_t stmt) const;

  // Values of the current row; `indicator` is -1 for NULL.
  int16_t ZQ_DB_GetColInt(int16_t stmt, int16_t column, int16_t& value, int16_t& indicator);
  int16_t ZQ_DB_GetColLong(int16_t stmt, int16_t column, int32_t& value, int16_t& indicator);
  int16_t ZQ_DB_GetColStr(int16_t stmt, int16_t column, std::string& value, int16_t& indicator);

  // Where notes go that are not errors: the server's notices, a text cut to its width.
  void SetNoteSink(std::function<void(std::string_view)> sink);
  // Sends a note to the sink, when there is one.
  void Note(std::string_view text);
  // Statements sent to the server since the library was initialised (prepare, execute,
  // commit): a benchmark's round trips.
  int64_t RoundTrips() const;
  // Asks the server to cancel the statement the connection is running, if any: it then
  // fails as canceled (SQLSTATE 57014). Any thread may call it.
  bool CancelRunning();
  // The server process of the open connection (0 when none is open).
  int32_t BackendPid() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kalu
