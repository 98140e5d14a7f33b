#include "database/cursor.h"

#include <utility>

#include "database/sql_text.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

std::string CharKey(std::string_view value, int width) {
  std::string key = SqlText(Char{value, width});
  key.erase(key.find_last_not_of(' ') + 1);
  return key;
}

Cursor::Cursor(Session& session, std::string_view app, std::string_view id, std::string_view sql,
               CursorKind kind)
    : session_(session),
      app_(app),
      id_(id),
      stmt_(session_.Statement(app, id, sql, static_cast<int16_t>(kind))) {}

Cursor::~Cursor() {
  if (stmt_ >= 0) session_.Library().ZQ_DB_SetClosable(stmt_);
}

Cursor::Cursor(Cursor&& other) noexcept
    : session_(other.session_),
      app_(std::move(other.app_)),
      id_(std::move(other.id_)),
      stmt_(std::exchange(other.stmt_, -1)),
      lastCode_(other.lastCode_) {}

bool Cursor::Checked(int16_t status) {
  const bool found = session_.Require(status);
  lastCode_ = found ? kCodeOk : kCodeNotFound;
  return found;
}

void Cursor::Require(int16_t status, const char* what, int n) {
  if (status == kDbOk) return;
  Raise(kErrFatalDatabase,
        std::string("El cursor ") + id_ + " no tiene " + what + " " + std::to_string(n));
}

Cursor& Cursor::Param(int n, std::string text) {
  Require(session_.Library().ZQ_DB_SetParm(stmt_, n, std::move(text)), "el parámetro", n);
  return *this;
}

Cursor& Cursor::SetInt16(int n, int16_t value) {
  return Param(n, SqlText(value));
}
Cursor& Cursor::SetInt32(int n, int32_t value) {
  return Param(n, SqlText(value));
}
Cursor& Cursor::SetInt64(int n, int64_t value) {
  return Param(n, SqlText(value));
}
Cursor& Cursor::SetDecimal(int n, Fixed4 value) {
  return Param(n, SqlText(value));
}
Cursor& Cursor::SetText(int n, std::string_view value, int width) {
  return Param(n, session_.CutParameter(app_, id_, n, value, width));
}

Cursor& Cursor::SetTextList(int n, std::span<const std::string> values, int width) {
  std::string array = "{";
  for (const std::string& value : values) {
    if (array.size() > 1) array += ',';
    array += '"';
    for (char c : SqlText(Char{value, width})) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  array += '}';
  return Param(n, std::move(array));
}

Cursor& Cursor::SetDate(int n, DateValue value) {
  return Param(n, SqlText(SqlDate{value}));
}

Cursor& Cursor::SetDateTime(int n, DateValue value) {
  return Param(n, SqlText(SqlDateTime{value}));
}

bool Cursor::FetchFirst() {
  return Checked(session_.Library().ZQ_DB_StmtFetchFirst(stmt_));
}
bool Cursor::FetchNext() {
  return Checked(session_.Library().ZQ_DB_StmtFetchNext(stmt_));
}
void Cursor::Execute() {
  session_.ExecuteStatement(stmt_);
  lastCode_ = kCodeOk;
}
void Cursor::Close() {
  Checked(session_.Library().ZQ_DB_SetClosable(stmt_));
}

int16_t Cursor::Int16(int column) {
  int16_t value = 0, ind = 0;
  Require(session_.Library().ZQ_DB_GetColInt(stmt_, column, value, ind), "la columna", column);
  return value;
}
int32_t Cursor::Int32(int column) {
  int32_t value = 0;
  int16_t ind = 0;
  Require(session_.Library().ZQ_DB_GetColLong(stmt_, column, value, ind), "la columna", column);
  return value;
}
Fixed4 Cursor::Decimal(int column) {
  std::string text;
  int16_t ind = 0;
  Require(session_.Library().ZQ_DB_GetColStr(stmt_, column, text, ind), "la columna", column);
  return ind < 0 ? Fixed4() : Fixed4::FromText(text);
}
std::string Cursor::Text(int column) {
  std::string text;
  int16_t ind = 0;
  Require(session_.Library().ZQ_DB_GetColStr(stmt_, column, text, ind), "la columna", column);
  return RTrim(text);
}
DateValue Cursor::Date(int column) {
  std::string text = Text(column);
  return text.empty() ? kEmptyDate : DateFromIsoText(text);
}
DateValue Cursor::DateTime(int column) {
  std::string text = Text(column);
  return text.empty() ? kEmptyDate : DateTimeFromIsoText(text);
}

}  // namespace kalu
