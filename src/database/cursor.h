#pragma once
// The typed cursor of the procedures: one object per cursor id, declared on the
// connection on first use and reused afterwards, so that each procedure reads like its
// algorithm:
//
//   Cursor p15153(ctx.session, "PVEHICULOSADDP", "P15153",
//                 "SELECT VehPlacas FROM VEHICULOS WHERE VehPlacas = ?", CursorKind::Read);
//   p15153.SetText(1, plates, 7);
//   if (!p15153.FetchFirst()) { ... not found ... }
//
// The object releases its result when it goes away (the statement stays declared on the
// connection for the next object with its id); Close() releases it earlier, through
// Require, where the procedure closes a cursor it reads again.
//
// Each call of the library goes through the session's Require: a failure raises the fatal
// database error. FetchFirst and FetchNext return whether a row is there (error code not
// 101). Parameters are sent as their SqlText (database/sql_text.h).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "database/session.h"
#include "runtime/convert.h"
#include "runtime/numbers.h"

namespace kalu {

enum class CursorKind : int16_t { Read = 0, Update = 1 };

// The value a character parameter of `width` is compared as: cut at its first NUL and to
// its width, as SetText sends it, without the trailing blanks that the server's
// fixed-length character comparison passes over. Keys read once and looked up in memory
// match as the statement `... WHERE key = ?` would.
std::string CharKey(std::string_view value, int width);

// While it lives, the session's cursors send what they Execute without waiting for the
// result (libpq's pipeline mode); a fetch, a commit or any other statement first reads
// back what was sent and reports its first failure as its own. Rows travel in one exchange
// per few hundred statements instead of one each.
class WritesBehind {
 public:
  explicit WritesBehind(Session& session)
      : session_(session), before_(session_.SetWritesBehind(true)) {}
  ~WritesBehind() { session_.SetWritesBehind(before_); }
  WritesBehind(const WritesBehind&) = delete;
  WritesBehind& operator=(const WritesBehind&) = delete;

 private:
  Session& session_;
  bool before_;
};

class Cursor {
 public:
  // Ensures the connection, then declares the cursor and sets its text unless the
  // connection has it declared already.
  Cursor(Session& session, std::string_view app, std::string_view id, std::string_view sql,
         CursorKind kind);
  // Releases the result, without a check: nothing is left to report once the cursor is
  // done with.
  ~Cursor();
  Cursor(Cursor&& other) noexcept;
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;
  Cursor& operator=(Cursor&&) = delete;

  // Parameters, numbered from 1, set before each use.
  Cursor& SetInt16(int n, int16_t value);
  Cursor& SetInt32(int n, int32_t value);
  Cursor& SetInt64(int n, int64_t value);
  Cursor& SetDecimal(int n, Fixed4 value);
  Cursor& SetText(int n, std::string_view value, int width);
  // A list of texts, each cut as SetText cuts it, as one array value: the statement reads
  // it with "= ANY (CAST(? AS bpchar[]))".
  Cursor& SetTextList(int n, std::span<const std::string> values, int width);
  Cursor& SetDate(int n, DateValue value);      // "yyyy-mm-dd"; the empty date as "0001-01-01"
  Cursor& SetDateTime(int n, DateValue value);  // "yyyy-mm-dd hh:mm:ss"

  bool FetchFirst();
  bool FetchNext();
  void Execute();
  // Releases the result; the cursor stays declared.
  void Close();

  // Columns of the current row, numbered from 1. A NULL gives 0, a blank text or the
  // empty date; so does a read with no current row. A column number beyond the result is a
  // fault of the procedure: it raises the fatal database error.
  int16_t Int16(int column);
  int32_t Int32(int column);
  Fixed4 Decimal(int column);
  std::string Text(int column);    // right-trimmed
  DateValue Date(int column);      // read as text with DateFromIsoText
  DateValue DateTime(int column);  // read as text with DateTimeFromIsoText

  // Rows of the result read by the last FetchFirst (0 once closed).
  int64_t RowCount() const { return session_.Library().ZQ_DB_StmtRowCount(stmt_); }

  // The error code of the last call: 0, or 101 when a fetch found no row.
  int16_t LastCode() const { return lastCode_; }

 private:
  bool Checked(int16_t status);
  Cursor& Param(int n, std::string text);
  // A parameter set or a column read that the library refused is a fault of the procedure:
  // the fatal database error names the cursor and what was asked.
  void Require(int16_t status, const char* what, int n);

  Session& session_;
  std::string app_;
  std::string id_;
  int16_t stmt_ = -1;
  int16_t lastCode_ = 0;
};

}  // namespace kalu
